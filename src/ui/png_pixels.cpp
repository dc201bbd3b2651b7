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

// What the chunks say: the header's fields, the palette (as blue, green,
// red and alpha) and the image data still compressed.
struct PngParts {
  uint32_t width = 0, height = 0;
  uint8_t colourType = 0;
  bool header = false;
  std::array<uint8_t, 4 * 256> palette{};
  size_t paletteSize = 0;
  std::vector<uint8_t> compressed;
};

bool TakeHeader(const uint8_t* body, uint32_t length, PngParts& parts) {
  if (parts.header || length != 13) return false;
  parts.width = BigEndian32(body);
  parts.height = BigEndian32(body + 4);
  parts.colourType = body[9];
  // Depth 8, deflate, the standard filters, no interlacing.
  if (body[8] != 8 || SamplesOf(parts.colourType) == 0 || body[10] != 0 || body[11] != 0 || body[12] != 0) {
    return false;
  }
  const uint64_t pixels = uint64_t{parts.width} * parts.height;
  if (parts.width == 0 || parts.height == 0 || pixels > kMaxPngPixels) return false;
  parts.header = true;
  return true;
}

bool TakePalette(const uint8_t* body, uint32_t length, PngParts& parts) {
  if (length % 3 != 0 || length / 3 > 256 || length == 0) return false;
  parts.paletteSize = length / 3;
  for (size_t i = 0; i < parts.paletteSize; ++i) {
    parts.palette[i * 4] = body[i * 3 + 2];
    parts.palette[i * 4 + 1] = body[i * 3 + 1];
    parts.palette[i * 4 + 2] = body[i * 3];
    parts.palette[i * 4 + 3] = 255;
  }
  return true;
}

bool TakeTransparency(const uint8_t* body, uint32_t length, PngParts& parts) {
  // Only the palette's alphas are taken; a single transparent colour
  // of a grey or colour picture is left to the system.
  if (parts.colourType != 3) return false;
  if (length > parts.paletteSize) return false;
  for (size_t i = 0; i < length; ++i) parts.palette[i * 4 + 3] = body[i];
  return true;
}

// One chunk into `parts`; `ended` once the end chunk came. False for a
// chunk that cannot stand where it is.
bool TakeChunk(const uint8_t* type, const uint8_t* body, uint32_t length, PngParts& parts, bool& ended) {
  if (!parts.header && !IsChunk(type, "IHDR")) return false;
  if (IsChunk(type, "IHDR")) return TakeHeader(body, length, parts);
  if (IsChunk(type, "PLTE")) return TakePalette(body, length, parts);
  if (IsChunk(type, "tRNS")) return TakeTransparency(body, length, parts);
  if (IsChunk(type, "IDAT")) {
    parts.compressed.insert(parts.compressed.end(), body, body + length);
  } else if (IsChunk(type, "IEND")) {
    ended = true;
  } else if (!(type[0] & 0x20)) {
    return false;  // a critical chunk this reader does not know
  }
  return true;
}

// The chunks after the signature, up to the end chunk, each checked to lie
// wholly inside the data.
bool ReadChunks(const uint8_t* data, size_t size, PngParts& parts) {
  size_t at = sizeof kSignature;
  for (bool ended = false; !ended;) {
    if (size - at < 12) return false;
    const uint32_t length = BigEndian32(data + at);
    const uint8_t* type = data + at + 4;
    const uint8_t* body = data + at + 8;
    if (length > size - at - 12) return false;
    at += 12 + static_cast<size_t>(length);
    if (!TakeChunk(type, body, length, parts, ended)) return false;
  }
  if (parts.colourType == 3 && parts.paletteSize == 0) return false;
  return !parts.compressed.empty();
}

// The rows, each its filter byte and then `stride` bytes, inflated and
// unfiltered; null for data that does not make exactly that.
std::unique_ptr<uint8_t[]> UnpackRows(const PngParts& parts, size_t stride) {
  // Not cleared first: inflating fills every byte or fails.
  const size_t rowsSize = (stride + 1) * parts.height;
  std::unique_ptr<uint8_t[]> rows(new (std::nothrow) uint8_t[rowsSize]);
  if (!rows || !InflateExactly(parts.compressed, rows.get(), rowsSize) ||
      !Unfilter(rows.get(), stride, parts.height, SamplesOf(parts.colourType))) {
    return nullptr;
  }
  return rows;
}

// The unfiltered rows as premultiplied pixels at `to`; false for a palette
// index past the palette's end.
bool PutPixels(const uint8_t* rows, size_t stride, const PngParts& parts, uint8_t* to) {
  auto put = [&to](uint8_t blue, uint8_t green, uint8_t red, uint8_t alpha) {
    PutPremultiplied(to, blue, green, red, alpha);
    to += 4;
  };
  for (uint32_t y = 0; y < parts.height; ++y) {
    const uint8_t* from = rows + static_cast<size_t>(y) * (stride + 1) + 1;
    const uint8_t* end = from + stride;
    switch (parts.colourType) {
      case 0:
        for (; from != end; from += 1) put(from[0], from[0], from[0], 255);
        break;
      case 2:
        for (; from != end; from += 3) put(from[2], from[1], from[0], 255);
        break;
      case 3:
        for (; from != end; from += 1) {
          if (from[0] >= parts.paletteSize) return false;
          const uint8_t* entry = &parts.palette[from[0] * 4];
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

}  // namespace

bool DecodePngPremultiplied(const uint8_t* data, size_t size, const PixelTarget& target) {
  if (!data || size < sizeof kSignature || std::memcmp(data, kSignature, sizeof kSignature) != 0) {
    return false;
  }
  PngParts parts;
  if (!ReadChunks(data, size, parts)) return false;
  const size_t stride = static_cast<size_t>(parts.width) * SamplesOf(parts.colourType);
  std::unique_ptr<uint8_t[]> rows = UnpackRows(parts, stride);
  if (!rows) return false;
  uint8_t* to = target(parts.width, parts.height);
  return to && PutPixels(rows.get(), stride, parts, to);
}

}  // namespace tov
