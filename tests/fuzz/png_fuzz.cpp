// The launcher's own pictures are read by its PNG reader before anything
// else; a profile's artwork is anyone's file. Checked: the reader asks for
// the pixels at most once, only within its size limit, writes only where
// it was given (the sanitizer sees the buffer's exact end), fails when given
// nothing, and every pixel it reports as read is premultiplied.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "ui/png_pixels.h"

using tovfuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> pixels;
  int asked = 0;
  bool given = false;
  const bool read = tov::DecodePngPremultiplied(data, size, [&](uint32_t width, uint32_t height) {
    ++asked;
    const uint64_t count = uint64_t{width} * height;
    Check(width > 0 && height > 0 && count <= tov::kMaxPngPixels, "pixels asked for a size out of bounds");
    // Larger pictures are refused here, so that the reader's failure path
    // for a target that gives nothing is driven too.
    if (count > (1u << 20)) return static_cast<uint8_t*>(nullptr);
    pixels.assign(static_cast<size_t>(count) * 4, 0);
    given = true;
    return pixels.data();
  });
  Check(asked <= 1, "pixels asked for twice");
  if (!read) return 0;
  Check(given, "a picture reported as read without pixels to put it in");
  for (size_t i = 0; i < pixels.size(); i += 4) {
    const uint8_t alpha = pixels[i + 3];
    Check(pixels[i] <= alpha && pixels[i + 1] <= alpha && pixels[i + 2] <= alpha, "a colour above its alpha");
  }
  return 0;
}
