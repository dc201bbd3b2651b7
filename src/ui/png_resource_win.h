// PNG images stored in the launcher's own resources, decoded with GDI+'s
// flat interface from the system's gdiplus.dll.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <algorithm>
// The C++ part of the GDI+ headers wants min and max, which the build keeps
// out of windows.h; the launcher uses only the flat interface.
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <map>
#include <mutex>
#include <string>

#include "ui/png_pixels.h"

namespace gdip = Gdiplus::DllExports;
using Gdiplus::GpBitmap;
using Gdiplus::GpGraphics;
using Gdiplus::GpImage;

// The process-wide loader. It starts GDI+ for the process when it is first
// used; the images it hands out, and GDI+ with them, stay until the process
// ends (the close button paints with one of them as long as it exists).
class PngResourceLoader {
 public:
  static PngResourceLoader& Instance();

  // The image of resource `id` of type "PNG"; the same object on every
  // request for that id. A missing or undecodable resource gives null,
  // which draws nothing, and is asked again next time.
  GpImage* LoadPngFromResource(int id);
  // A new bitmap of resource `id` for the caller to own and change; null
  // when the resource is missing or undecodable.
  GpBitmap* DecodeBitmap(int id);
  // How many times a resource was read, for tests of the cache.
  int ResourceReads() const { return m_reads; }
  bool Started() const { return m_token != 0; }

 private:
  PngResourceLoader();
  std::mutex m_lock;
  std::map<std::wstring, GpImage*> m_cache;
  ULONG_PTR m_token = 0;
  int m_reads = 0;
};

// Reads resource `id` of type "PNG" with the launcher's own reader, without
// GDI+, into `target`; false when the resource is missing or of a form that
// reader leaves to GDI+.
bool ReadPngResourcePremultiplied(int id, const tov::PixelTarget& target);
