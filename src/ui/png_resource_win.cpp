#include "ui/png_resource_win.h"

#include <objbase.h>

#include <cstring>

#include "base/com_ptr.h"

namespace {

// The bytes of resource `id` of type "PNG", which live as long as the module.
bool ResourceBytes(int id, const BYTE*& bytes, DWORD& size) {
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
  if (!found) return false;
  size = ::SizeofResource(module, found);
  HGLOBAL loaded = ::LoadResource(module, found);
  bytes = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
  return bytes && size != 0;
}

// A stream over a copy of the resource's bytes. The block is not freed with
// the stream: GDI+ may read from it for as long as the image lives.
tov::ComPtr<IStream> ResourceStream(int id) {
  const BYTE* bytes = nullptr;
  DWORD size = 0;
  if (!ResourceBytes(id, bytes, size)) return nullptr;
  HGLOBAL block = ::GlobalAlloc(GMEM_FIXED, size);
  if (!block) return nullptr;
  std::memcpy(block, bytes, size);
  tov::ComPtr<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(block, FALSE, stream.put()))) {
    ::GlobalFree(block);
    return nullptr;
  }
  return stream;
}

}  // namespace

PngResourceLoader& PngResourceLoader::Instance() {
  static PngResourceLoader* loader = new PngResourceLoader();
  return *loader;
}

PngResourceLoader::PngResourceLoader() {
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&m_token, &input, nullptr) != Gdiplus::Ok) m_token = 0;
}

GpImage* PngResourceLoader::LoadPngFromResource(int id) {
  std::lock_guard<std::mutex> hold(m_lock);
  const std::wstring key = std::to_wstring(id);
  auto cached = m_cache.find(key);
  if (cached != m_cache.end()) return cached->second;
  if (!m_token) return nullptr;
  ++m_reads;
  tov::ComPtr<IStream> stream = ResourceStream(id);
  GpImage* image = nullptr;
  if (!stream || gdip::GdipLoadImageFromStream(stream.get(), &image) != Gdiplus::Ok) return nullptr;
  m_cache.emplace(key, image);
  return image;
}

GpBitmap* PngResourceLoader::DecodeBitmap(int id) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (!m_token) return nullptr;
  ++m_reads;
  tov::ComPtr<IStream> stream = ResourceStream(id);
  GpBitmap* bitmap = nullptr;
  if (!stream || gdip::GdipCreateBitmapFromStream(stream.get(), &bitmap) != Gdiplus::Ok) return nullptr;
  return bitmap;
}

bool ReadPngResourcePremultiplied(int id, const tov::PixelTarget& target) {
  const BYTE* bytes = nullptr;
  DWORD size = 0;
  return ResourceBytes(id, bytes, size) && tov::DecodePngPremultiplied(bytes, size, target);
}
