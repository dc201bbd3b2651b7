#include "ui/window_picture_win.h"

#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "base/exit_barrier.h"
#include "base/unique_handle.h"
#include "resource_ids.h"
#include "ui/drawing_owners_win.h"
#include "ui/png_pixels.h"
#include "ui/png_resource_win.h"

namespace {

struct Picture {
  tov::UniqueGdiObject bitmap;
  SIZE size{};
};

// An empty 32-bit section, top down, for a layered window's picture.
HBITMAP PictureSection(UINT width, UINT height, BYTE*& bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = static_cast<LONG>(width);
  info.bmiHeader.biHeight = -static_cast<LONG>(height);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* memory = nullptr;
  HBITMAP section = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
  bits = static_cast<BYTE*>(memory);
  return section;
}

// Through GDI+, for a picture of a form the launcher's own reader leaves
// to the system.
Picture DecodeBackgroundWithGdiPlus() {
  GdipOwner<GpBitmap> decoded(PngResourceLoader::Instance().DecodeBitmap(IDB_BACKGROUND_PNG));
  if (!decoded) return Picture{};
  UINT width = 0, height = 0;
  gdip::GdipGetImageWidth(decoded.get(), &width);
  gdip::GdipGetImageHeight(decoded.get(), &height);
  if (width == 0 || height == 0) return Picture{};
  Gdiplus::Rect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  Gdiplus::BitmapData pixels{};
  if (gdip::GdipBitmapLockBits(decoded.get(), &all, Gdiplus::ImageLockModeRead,
                               PixelFormat32bppARGB, &pixels) != Gdiplus::Ok) {
    return Picture{};
  }
  Picture picture;
  BYTE* bits = nullptr;
  picture.bitmap.reset(PictureSection(width, height, bits));
  if (picture.bitmap) {
    picture.size = SIZE{static_cast<LONG>(width), static_cast<LONG>(height)};
    for (UINT y = 0; y < height; ++y) {
      const BYTE* from = static_cast<const BYTE*>(pixels.Scan0) + static_cast<ptrdiff_t>(y) * pixels.Stride;
      BYTE* to = bits + static_cast<size_t>(y) * width * 4;
      for (UINT x = 0; x < width; ++x, from += 4, to += 4) tov::PutPremultiplied(to, from[0], from[1], from[2], from[3]);
    }
  }
  gdip::GdipBitmapUnlockBits(decoded.get(), &pixels);
  return picture;
}

Picture DecodeBackground() {
  Picture picture;
  const bool read = ReadPngResourcePremultiplied(IDB_BACKGROUND_PNG, [&picture](uint32_t width, uint32_t height) {
    BYTE* bits = nullptr;
    picture.bitmap.reset(PictureSection(width, height, bits));
    picture.size = SIZE{static_cast<LONG>(width), static_cast<LONG>(height)};
    return bits;
  });
  if (read) return picture;
  picture.bitmap.reset();
  return DecodeBackgroundWithGdiPlus();
}

// The decoding begun ahead, until a window takes it. Never destroyed: the
// process may end (a second instance does at once) while it still runs.
struct PictureJob {
  std::mutex lock;
  std::future<Picture> ahead;
};

PictureJob& Job() {
  static PictureJob* job = new PictureJob();
  return *job;
}

}  // namespace

void PrepareMainWindowPicture() {
  PictureJob& job = Job();
  std::lock_guard<std::mutex> hold(job.lock);
  if (job.ahead.valid()) return;
  try {
    auto promise = std::make_shared<std::promise<Picture>>();
    std::future<Picture> ahead = promise->get_future();
    std::thread([promise] {
      // A thread ended inside the image libraries could keep the process
      // from ending: the end of the run waits for this one.
      tov::ExitBarrier::Pass pass = tov::ProcessExitBarrier().Enter();
      if (!pass) {
        promise->set_value(Picture{});
        return;
      }
      promise->set_value(DecodeBackground());
    }).detach();
    job.ahead = std::move(ahead);
  } catch (...) {
    // No thread: the window decodes when it needs the picture.
  }
}

HBITMAP TakeMainWindowPicture(SIZE& size) {
  std::future<Picture> ahead;
  {
    PictureJob& job = Job();
    std::lock_guard<std::mutex> hold(job.lock);
    ahead = std::move(job.ahead);
  }
  Picture picture;
  try {
    picture = ahead.valid() ? ahead.get() : DecodeBackground();
  } catch (...) {
    picture = DecodeBackground();
  }
  size = picture.size;
  return static_cast<HBITMAP>(picture.bitmap.release());
}
