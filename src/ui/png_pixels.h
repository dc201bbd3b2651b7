// The launcher's own PNG pictures, read straight into 32-bit pixels. The
// window's background has to be on screen as early as possible, and the
// system's image libraries take several times longer to load than this
// takes to read it. Only the plain forms are read here (8 bits per sample,
// not interlaced, any colour type); anything else is left to the system.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

namespace tov {

// Where the pixels go, asked for once the size is known: width x height
// pixels, rows top down, each blue, green, red and alpha with the colours
// already multiplied by the alpha (as a layered window takes them). Null
// stops the reading.
using PixelTarget = std::function<uint8_t*(uint32_t width, uint32_t height)>;

// False for a picture that is damaged, of a form not read here, or larger
// than kMaxPngPixels; the target may then hold part of the picture.
bool DecodePngPremultiplied(const uint8_t* data, size_t size, const PixelTarget& target);

// One pixel as a layered window takes it: each colour times alpha / 255, in
// integers, once.
inline void PutPremultiplied(uint8_t* to, uint8_t blue, uint8_t green, uint8_t red, uint8_t alpha) {
  to[0] = static_cast<uint8_t>(blue * alpha / 255);
  to[1] = static_cast<uint8_t>(green * alpha / 255);
  to[2] = static_cast<uint8_t>(red * alpha / 255);
  to[3] = alpha;
}

inline constexpr uint64_t kMaxPngPixels = 16384ull * 16384ull;

}  // namespace tov
