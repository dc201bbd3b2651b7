// The launcher's PNG resources through GDI+: one image per id for the whole
// process, read once; the background decodes at its full size.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "resource_ids.h"
#include "ui/png_resource_win.h"

static std::pair<UINT, UINT> SizeOf(GpImage* image) {
  UINT width = 0, height = 0;
  gdip::GdipGetImageWidth(image, &width);
  gdip::GdipGetImageHeight(image, &height);
  return {width, height};
}

TEST(PngResources, ASecondRequestGetsTheSameImageWithoutReadingAgain) {
  PngResourceLoader& loader = PngResourceLoader::Instance();
  ASSERT_TRUE(loader.Started());
  GpImage* first = loader.LoadPngFromResource(IDB_CLOSE_PNG);
  ASSERT_NE(first, nullptr);
  const int reads = loader.ResourceReads();
  EXPECT_EQ(loader.LoadPngFromResource(IDB_CLOSE_PNG), first);
  EXPECT_EQ(loader.ResourceReads(), reads);
  EXPECT_EQ(SizeOf(first), std::make_pair(30u, 30u));

  // No such resource: nothing to draw, and nothing kept for it.
  EXPECT_EQ(loader.LoadPngFromResource(4242), nullptr);
  EXPECT_EQ(loader.LoadPngFromResource(4242), nullptr);
  EXPECT_EQ(loader.ResourceReads(), reads + 2);
}

TEST(PngResources, TheBackgroundDecodesAsABitmapOfItsOwn) {
  GpBitmap* a = PngResourceLoader::Instance().DecodeBitmap(IDB_BACKGROUND_PNG);
  GpBitmap* b = PngResourceLoader::Instance().DecodeBitmap(IDB_BACKGROUND_PNG);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b) << "each caller changes its own copy";
  EXPECT_EQ(SizeOf(a), std::make_pair(1280u, 714u));
  gdip::GdipDisposeImage(a);
  gdip::GdipDisposeImage(b);
}

// The launcher's own reader against GDI+ (Wine's, an independent decoder):
// the same premultiplied pixels for both of the launcher's pictures.
TEST(PngResources, TheOwnReaderGivesWhatGdiPlusGivesPixelForPixel) {
  for (int id : {IDB_BACKGROUND_PNG, IDB_CLOSE_PNG}) {
    std::vector<uint8_t> ours;
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(ReadPngResourcePremultiplied(id, [&](uint32_t w, uint32_t h) {
      width = w;
      height = h;
      ours.resize(static_cast<size_t>(w) * h * 4);
      return ours.data();
    })) << id;

    GpBitmap* bitmap = PngResourceLoader::Instance().DecodeBitmap(id);
    ASSERT_NE(bitmap, nullptr);
    const auto [gw, gh] = SizeOf(bitmap);
    ASSERT_EQ(std::make_pair(gw, gh), std::make_pair(UINT{width}, UINT{height})) << id;
    Gdiplus::Rect all(0, 0, static_cast<INT>(gw), static_cast<INT>(gh));
    Gdiplus::BitmapData pixels{};
    ASSERT_EQ(gdip::GdipBitmapLockBits(bitmap, &all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &pixels),
              Gdiplus::Ok);
    size_t differing = 0, first = SIZE_MAX;
    for (UINT y = 0; y < gh; ++y) {
      const BYTE* from = static_cast<const BYTE*>(pixels.Scan0) + static_cast<ptrdiff_t>(y) * pixels.Stride;
      for (UINT x = 0; x < gw; ++x, from += 4) {
        const uint8_t* mine = &ours[(static_cast<size_t>(y) * gw + x) * 4];
        const BYTE alpha = from[3];
        const bool same = mine[3] == alpha && mine[0] == from[0] * alpha / 255 &&
                          mine[1] == from[1] * alpha / 255 && mine[2] == from[2] * alpha / 255;
        if (!same && differing++ == 0) first = static_cast<size_t>(y) * gw + x;
      }
    }
    gdip::GdipBitmapUnlockBits(bitmap, &pixels);
    gdip::GdipDisposeImage(bitmap);
    EXPECT_EQ(differing, 0u) << "picture " << id << ", first at pixel " << first;
  }
  EXPECT_FALSE(ReadPngResourcePremultiplied(4242, [](uint32_t, uint32_t) -> uint8_t* { return nullptr; }));
}
