#include "ui/png_pixels.h"

#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <zlib.h>

namespace tov {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool IsChunk(const uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

// The image data into exactly `outSize` bytes; false on any error, a stream
// that ends early or one with bytes left over.
bool InflateExactly(const std::vector<uint8_t>& in, uint8_t* out, size_t outSize) {
  if (in.size() > UINT_MAX || outSize > UINT_MAX) return false;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(in.data());
  stream.avail_in = static_cast<uInt>(in.size());
  stream.next_out = out;
  stream.avail_out = static_cast<uInt>(outSize);
  const bool whole = inflate(&stream, Z_FINISH) == Z_STREAM_END && stream.avail_out == 0 && stream.avail_in == 0;
  inflateEnd(&stream);
  return whole;
}

// Samples per pixel of each colour type at 8 bits; 0 for one that does not exist.
int SamplesOf(uint8_t colourType) {
  switch (colourType) {
    case 0: return 1;  // grey
    case 2: return 3;  // red, green, blue
    case 3: return 1;  // palette index
    case 4: return 2;  // grey, alpha
    case 6: return 4;  // red, green, blue, alpha
    default: return 0;
  }
}

uint8_t Paeth(int left, int up, int upLeft) {
  int p = left + up - upLeft;
  int pa = std::abs(p - left), pb = std::abs(p - up), pc = std::abs(p - upLeft);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(left);
  return static_cast<uint8_t>(pb <= pc ? up : upLeft);
}

// Undoes the filters in place: `rows` holds each row's filter byte and then
// its `stride` bytes. False on an unknown filter. The first row's "up" is a
// row of zeros.
bool Unfilter(uint8_t* rows, size_t stride, uint32_t height, int bpp) {
  const std::vector<uint8_t> zeros(stride, 0);
  const uint8_t* up = zeros.data();
  const size_t b = static_cast<size_t>(bpp);
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* line = rows + static_cast<size_t>(y) * (stride + 1);
    uint8_t* row = line + 1;
    switch (line[0]) {
      case 0:
        break;
      case 1:
        for (size_t i = b; i < stride; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - b]);
        break;
      case 2:
        for (size_t i = 0; i < stride; ++i) row[i] = static_cast<uint8_t>(row[i] + up[i]);
        break;
      case 3:
        for (size_t i = 0; i < b && i < stride; ++i) row[i] = static_cast<uint8_t>(row[i] + up[i] / 2);
        for (size_t i = b; i < stride; ++i) row[i] = static_cast<uint8_t>(row[i] + (row[i - b] + up[i]) / 2);
        break;
      case 4:
        for (size_t i = 0; i < b && i < stride; ++i) row[i] = static_cast<uint8_t>(row[i] + up[i]);
        for (size_t i = b; i < stride; ++i) row[i] = static_cast<uint8_t>(row[i] + Paeth(row[i - b], up[i], up[i - b]));
        break;
      default:
        return false;
    }
    up = row;
  }
  return true;
}

}  // namespace

bool DecodePngPremultiplied(const uint8_t* data, size_t size, const PixelTarget& target) {
  if (!data || size < sizeof kSignature || std::memcmp(data, kSignature, sizeof kSignature) != 0) {
    return false;
  }
  uint32_t width = 0, height = 0;
  uint8_t colourType = 0;
  bool header = false, ended = false;
  std::array<uint8_t, 4 * 256> palette{};  // as blue, green, red, alpha
  size_t paletteSize = 0;
  std::vector<uint8_t> compressed;

  size_t at = sizeof kSignature;
  while (!ended) {
    if (size - at < 12) return false;
    const uint32_t length = BigEndian32(data + at);
    const uint8_t* type = data + at + 4;
    const uint8_t* body = data + at + 8;
    if (length > size - at - 12) return false;
    at += 12 + static_cast<size_t>(length);
    if (!header && !IsChunk(type, "IHDR")) return false;

    if (IsChunk(type, "IHDR")) {
      if (header || length != 13) return false;
      width = BigEndian32(body);
      height = BigEndian32(body + 4);
      colourType = body[9];
      // Depth 8, deflate, the standard filters, no interlacing.
      if (body[8] != 8 || SamplesOf(colourType) == 0 || body[10] != 0 || body[11] != 0 || body[12] != 0) {
        return false;
      }
      if (width == 0 || height == 0 || uint64_t{width} * height > kMaxPngPixels) return false;
      header = true;
    } else if (IsChunk(type, "PLTE")) {
      if (length % 3 != 0 || length / 3 > 256 || length == 0) return false;
      paletteSize = length / 3;
      for (size_t i = 0; i < paletteSize; ++i) {
        palette[i * 4] = body[i * 3 + 2];
        palette[i * 4 + 1] = body[i * 3 + 1];
        palette[i * 4 + 2] = body[i * 3];
        palette[i * 4 + 3] = 255;
      }
    } else if (IsChunk(type, "tRNS")) {
      // Only the palette's alphas are taken; a single transparent colour
      // of a grey or colour picture is left to the system.
      if (colourType != 3) return false;
      if (length > paletteSize) return false;
      for (size_t i = 0; i < length; ++i) palette[i * 4 + 3] = body[i];
    } else if (IsChunk(type, "IDAT")) {
      compressed.insert(compressed.end(), body, body + length);
    } else if (IsChunk(type, "IEND")) {
      ended = true;
    } else if (!(type[0] & 0x20)) {
      return false;  // a critical chunk this reader does not know
    }
  }
  if (colourType == 3 && paletteSize == 0) return false;
  if (compressed.empty()) return false;

  const int bpp = SamplesOf(colourType);
  const size_t stride = static_cast<size_t>(width) * bpp;
  // Not cleared first: inflating fills every byte or fails.
  const size_t rowsSize = (stride + 1) * height;
  std::unique_ptr<uint8_t[]> rows(new (std::nothrow) uint8_t[rowsSize]);
  if (!rows || !InflateExactly(compressed, rows.get(), rowsSize) || !Unfilter(rows.get(), stride, height, bpp)) {
    return false;
  }
  uint8_t* to = target(width, height);
  if (!to) return false;

  auto put = [&to](uint8_t blue, uint8_t green, uint8_t red, uint8_t alpha) {
    PutPremultiplied(to, blue, green, red, alpha);
    to += 4;
  };
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* from = rows.get() + static_cast<size_t>(y) * (stride + 1) + 1;
    const uint8_t* end = from + stride;
    switch (colourType) {
      case 0:
        for (; from != end; from += 1) put(from[0], from[0], from[0], 255);
        break;
      case 2:
        for (; from != end; from += 3) put(from[2], from[1], from[0], 255);
        break;
      case 3:
        for (; from != end; from += 1) {
          if (from[0] >= paletteSize) return false;
          const uint8_t* entry = &palette[from[0] * 4];
          put(entry[0], entry[1], entry[2], entry[3]);
        }
        break;
      case 4:
        for (; from != end; from += 2) put(from[0], from[0], from[0], from[1]);
        break;
      case 6:
        for (; from != end; from += 4) put(from[2], from[1], from[0], from[3]);
        break;
    }
  }
  return true;
}

}  // namespace tov
