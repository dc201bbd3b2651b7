// SHA-256 of the package while it arrives. Our own: under Wine the system's
// hash runs at a fraction of the download's speed, and the processor's SHA
// instructions, where it has them, keep the hash far ahead of any download.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace tov {

enum class Sha256Engine {
  Portable,         // plain code, on any processor
  CpuInstructions,  // the x86 SHA extensions; only where CpuHasSha256()
};

bool CpuHasSha256();

class Sha256 {
 public:
  // The processor's instructions when it has them.
  Sha256();
  explicit Sha256(Sha256Engine engine);

  void Add(const void* data, size_t size);
  // The digest of everything added; the object is spent afterwards.
  std::array<uint8_t, 32> Finish();

 private:
  using Compress = void (*)(uint32_t state[8], const uint8_t* blocks, size_t count);

  Compress m_compress;
  uint32_t m_state[8];
  uint64_t m_length = 0;
  uint8_t m_block[64];
  size_t m_used = 0;
};

}  // namespace tov
