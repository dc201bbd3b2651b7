// The launcher's PNG resources through GDI+: one image per id for the whole
// process, read once; the background decodes at its full size.
#include <windows.h>

#include <gtest/gtest.h>

#include "resource_ids.h"
#include "ui/png_resource_win.h"

TEST(PngResources, ASecondRequestGetsTheSameImageWithoutReadingAgain) {
  PngResourceLoader& loader = PngResourceLoader::Instance();
  ASSERT_TRUE(loader.Started());
  GpImage* first = loader.LoadPngFromResource(IDB_CLOSE_PNG);
  ASSERT_NE(first, nullptr);
  const int reads = loader.ResourceReads();
  EXPECT_EQ(loader.LoadPngFromResource(IDB_CLOSE_PNG), first);
  EXPECT_EQ(loader.ResourceReads(), reads);
  UINT width = 0, height = 0;
  gdip::GdipGetImageWidth(first, &width);
  gdip::GdipGetImageHeight(first, &height);
  EXPECT_EQ(width, 30u);
  EXPECT_EQ(height, 30u);

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
  UINT width = 0, height = 0;
  gdip::GdipGetImageWidth(a, &width);
  gdip::GdipGetImageHeight(a, &height);
  EXPECT_EQ(width, 1280u);
  EXPECT_EQ(height, 714u);
  gdip::GdipDisposeImage(a);
  gdip::GdipDisposeImage(b);
}
