#include "ui/png_pixels.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void Chunk(Bytes& png, const char* type, const Bytes& body) {
  Put32(png, static_cast<uint32_t>(body.size()));
  Bytes typed(type, type + 4);
  typed.insert(typed.end(), body.begin(), body.end());
  png.insert(png.end(), typed.begin(), typed.end());
  Put32(png, static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

Bytes Deflate(const Bytes& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes out(size);
  compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
  out.resize(size);
  return out;
}

int Predict(uint8_t filter, int left, int up, int upLeft) {
  switch (filter) {
    case 1: return left;
    case 2: return up;
    case 3: return (left + up) / 2;
    case 4: {
      int p = left + up - upLeft;
      int pa = std::abs(p - left), pb = std::abs(p - up), pc = std::abs(p - upLeft);
      return pa <= pb && pa <= pc ? left : (pb <= pc ? up : upLeft);
    }
    default: return 0;
  }
}

// The filtered image data of `rows` (raw samples), row y filtered with
// filters[y % filters.size()].
Bytes Filtered(const std::vector<Bytes>& rows, int bpp, const Bytes& filters) {
  Bytes out;
  for (size_t y = 0; y < rows.size(); ++y) {
    const uint8_t filter = filters[y % filters.size()];
    out.push_back(filter);
    for (size_t i = 0; i < rows[y].size(); ++i) {
      const int left = i >= static_cast<size_t>(bpp) ? rows[y][i - bpp] : 0;
      const int up = y ? rows[y - 1][i] : 0;
      const int upLeft = y && i >= static_cast<size_t>(bpp) ? rows[y - 1][i - bpp] : 0;
      out.push_back(static_cast<uint8_t>(rows[y][i] - Predict(filter, left, up, upLeft)));
    }
  }
  return out;
}

struct Form {
  uint32_t width;
  uint32_t height;
  uint8_t colourType;
  uint8_t depth = 8;
  uint8_t interlace = 0;
};

Bytes Header(const Form& form) {
  Bytes ihdr;
  Put32(ihdr, form.width);
  Put32(ihdr, form.height);
  ihdr.insert(ihdr.end(), {form.depth, form.colourType, 0, 0, form.interlace});
  return ihdr;
}

// A whole PNG: header, the chunks given, the image data, the end.
Bytes Png(const Form& form, const Bytes& imageData, const std::vector<std::pair<std::string, Bytes>>& before = {}) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Chunk(png, "IHDR", Header(form));
  for (const auto& [type, body] : before) Chunk(png, type.c_str(), body);
  Chunk(png, "IDAT", Deflate(imageData));
  Chunk(png, "IEND", {});
  return png;
}

struct Decoded {
  bool ok = false;
  uint32_t width = 0, height = 0;
  Bytes bgra;
};

Decoded Decode(const Bytes& png) {
  Decoded d;
  d.ok = tov::DecodePngPremultiplied(png.data(), png.size(), [&d](uint32_t w, uint32_t h) {
    d.width = w;
    d.height = h;
    d.bgra.assign(static_cast<size_t>(w) * h * 4, 0xEE);
    return d.bgra.data();
  });
  return d;
}

Bytes Premultiplied(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  return {static_cast<uint8_t>(b * a / 255), static_cast<uint8_t>(g * a / 255), static_cast<uint8_t>(r * a / 255), a};
}

// Rows of width x 4 samples whose values vary enough that every filter's
// prediction differs from the others.
std::vector<Bytes> RgbaRows(uint32_t width, uint32_t height) {
  std::vector<Bytes> rows(height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t i = 0; i < width * 4; ++i) rows[y].push_back(static_cast<uint8_t>((y * 97 + i * 53 + i * i * 7) % 256));
  }
  return rows;
}

TEST(PngPixels, EveryFilterOnEveryRowGivesThePixelsWithAlphaApplied) {
  const uint32_t w = 7, h = 10;
  const auto rows = RgbaRows(w, h);
  const Decoded d = Decode(Png({w, h, 6}, Filtered(rows, 4, {0, 1, 2, 3, 4, 4, 3, 2, 1})));
  ASSERT_TRUE(d.ok);
  ASSERT_EQ(d.width, w);
  ASSERT_EQ(d.height, h);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* s = &rows[y][x * 4];
      EXPECT_EQ(Bytes(d.bgra.begin() + (y * w + x) * 4, d.bgra.begin() + (y * w + x + 1) * 4),
                Premultiplied(s[0], s[1], s[2], s[3]))
          << "pixel " << x << "," << y;
    }
  }
}

TEST(PngPixels, PaethTiesGoToTheRowAboveBeforeTheCornerPixel) {
  // Second pixel of the second row: left 0, above 30, above left 10, so the
  // distances to above and to the corner tie at 10.
  const std::vector<Bytes> rows = {{10, 10, 10, 255, 30, 30, 30, 255}, {0, 0, 0, 255, 77, 77, 77, 255}};
  const Decoded d = Decode(Png({2, 2, 6}, Filtered(rows, 4, {4})));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(Bytes(d.bgra.begin() + 12, d.bgra.end()), (Bytes{77, 77, 77, 255}));
}

TEST(PngPixels, GreyColourAndPaletteFormsComeOutAsBlueGreenRedAlpha) {
  // One row of two pixels in each form.
  struct Case {
    uint8_t colourType;
    Bytes samples;
    std::vector<std::pair<std::string, Bytes>> chunks;
    Bytes expected;
  };
  const Bytes palette = {10, 20, 30, 200, 100, 50};
  const Case cases[] = {
      {0, {0, 200}, {}, {0, 0, 0, 255, 200, 200, 200, 255}},
      {2, {10, 20, 30, 40, 50, 60}, {}, {30, 20, 10, 255, 60, 50, 40, 255}},
      {4, {200, 128, 90, 255}, {}, {100, 100, 100, 128, 90, 90, 90, 255}},
      // The second entry has no alpha in tRNS: opaque.
      {3, {1, 0}, {{"PLTE", palette}, {"tRNS", {128}}}, {50, 100, 200, 255, 15, 10, 5, 128}},
  };
  for (const Case& c : cases) {
    const Decoded d = Decode(Png({2, 1, c.colourType}, Filtered({c.samples}, 1, {0}), c.chunks));
    ASSERT_TRUE(d.ok) << "colour type " << int{c.colourType};
    EXPECT_EQ(d.bgra, c.expected) << "colour type " << int{c.colourType};
  }
}

TEST(PngPixels, DamagedOrUnreadPicturesAreRefusedWithoutHarm) {
  const auto rows = RgbaRows(5, 4);
  const Bytes data = Filtered(rows, 4, {4});
  const Bytes good = Png({5, 4, 6}, data);
  ASSERT_TRUE(Decode(good).ok);

  // Every cut of the file, from nothing to one byte short.
  for (size_t n = 0; n < good.size(); ++n) {
    Bytes cut(good.begin(), good.begin() + static_cast<ptrdiff_t>(n));
    EXPECT_FALSE(Decode(cut).ok) << n << " bytes";
  }

  Bytes badFilter = data;
  badFilter[0] = 5;
  Bytes shortData(data.begin(), data.end() - 1);
  Bytes longData = data;
  longData.push_back(0);
  const Bytes palette = {1, 2, 3};
  const std::pair<const char*, Bytes> refused[] = {
      {"unknown filter", Png({5, 4, 6}, badFilter)},
      {"image data a byte short", Png({5, 4, 6}, shortData)},
      {"image data a byte long", Png({5, 4, 6}, longData)},
      {"16 bits a sample", Png({5, 4, 6, 16}, data)},
      {"interlaced", Png({5, 4, 6, 8, 1}, data)},
      {"unknown colour type", Png({5, 4, 5}, data)},
      {"unknown critical chunk", Png({5, 4, 6}, data, {{"ABCD", {1}}})},
      {"palette without its chunk", Png({2, 1, 3}, Bytes{0, 0, 0})},
      {"index past the palette", Png({2, 1, 3}, Bytes{0, 0, 1}, {{"PLTE", palette}})},
      {"more alphas than colours", Png({2, 1, 3}, Bytes{0, 0, 0}, {{"PLTE", palette}, {"tRNS", {1, 2}}})},
      {"a transparent colour", Png({5, 4, 6}, data, {{"tRNS", {0, 0, 0, 0, 0, 0}}})},
      // Refused before anything of that size is made.
      {"too large", Png({70000, 70000, 6}, data)},
      {"empty", Png({0, 4, 6}, data)},
  };
  for (const auto& [what, png] : refused) EXPECT_FALSE(Decode(png).ok) << what;

  // A chunk whose length runs past the end of the file.
  Bytes overlong = good;
  overlong[8 + 25] = 0x7F;  // the image data chunk's length
  EXPECT_FALSE(Decode(overlong).ok);
  // An ancillary chunk the reader does not know is skipped.
  EXPECT_TRUE(Decode(Png({5, 4, 6}, data, {{"tEXt", {'a', 0, 'b'}}})).ok);
  // No target, no picture.
  EXPECT_FALSE(tov::DecodePngPremultiplied(good.data(), good.size(),
                                           [](uint32_t, uint32_t) -> uint8_t* { return nullptr; }));
}

}  // namespace
