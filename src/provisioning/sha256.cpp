#include "provisioning/sha256.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define TOV_SHA_X86 1
#endif

namespace tov {

namespace {

constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t kInitial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void CompressPortable(uint32_t state[8], const uint8_t* blocks, size_t count) {
  for (; count > 0; --count, blocks += 64) {
    uint32_t w[64];
    for (int t = 0; t < 16; ++t) {
      w[t] = uint32_t(blocks[4 * t]) << 24 | uint32_t(blocks[4 * t + 1]) << 16 | uint32_t(blocks[4 * t + 2]) << 8 |
             uint32_t(blocks[4 * t + 3]);
    }
    for (int t = 16; t < 64; ++t) {
      uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
      uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 64; ++t) {
      uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
      uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

#ifdef TOV_SHA_X86
// The state is kept as the instructions want it: (A, B, E, F) and (C, D,
// G, H). The message schedule runs four words at a time: each group is
// msg2(msg1(W[i-4], W[i-3]) + W[i-7..i-4], W[i-1]).
__attribute__((target("sha,sse4.1,ssse3"))) void CompressShaNi(uint32_t state[8], const uint8_t* blocks,
                                                                 size_t count) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
  __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
  __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

  for (; count > 0; --count, blocks += 64) {
    const __m128i abefSaved = abef;
    const __m128i cdghSaved = cdgh;
    __m128i w[16];
    for (int i = 0; i < 16; ++i) {
      if (i < 4) {
        w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * i)), byteSwap);
      } else {
        __m128i x = _mm_sha256msg1_epu32(w[i - 4], w[i - 3]);
        x = _mm_add_epi32(x, _mm_alignr_epi8(w[i - 1], w[i - 2], 4));
        w[i] = _mm_sha256msg2_epu32(x, w[i - 1]);
      }
      __m128i words = _mm_add_epi32(w[i], _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRound[4 * i])));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, words);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(words, 0x0E));
    }
    abef = _mm_add_epi32(abef, abefSaved);
    cdgh = _mm_add_epi32(cdgh, cdghSaved);
  }

  __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}
#endif

}  // namespace

bool CpuHasSha256() {
#ifdef TOV_SHA_X86
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return ssse3 && sse41 && (b & (1u << 29));
#else
  return false;
#endif
}

Sha256::Sha256() : Sha256(CpuHasSha256() ? Sha256Engine::CpuInstructions : Sha256Engine::Portable) {}

Sha256::Sha256(Sha256Engine engine) : m_compress(&CompressPortable) {
#ifdef TOV_SHA_X86
  if (engine == Sha256Engine::CpuInstructions && CpuHasSha256()) m_compress = &CompressShaNi;
#else
  (void)engine;
#endif
  std::memcpy(m_state, kInitial, sizeof m_state);
}

void Sha256::Add(const void* data, size_t size) {
  auto* bytes = static_cast<const uint8_t*>(data);
  m_length += size;
  if (m_used > 0) {
    size_t take = size < 64 - m_used ? size : 64 - m_used;
    std::memcpy(m_block + m_used, bytes, take);
    m_used += take;
    bytes += take;
    size -= take;
    if (m_used < 64) return;
    m_compress(m_state, m_block, 1);
    m_used = 0;
  }
  if (size >= 64) {
    m_compress(m_state, bytes, size / 64);
    bytes += size / 64 * 64;
    size %= 64;
  }
  if (size > 0) std::memcpy(m_block, bytes, size);
  m_used = size;
}

std::array<uint8_t, 32> Sha256::Finish() {
  const uint64_t bits = m_length * 8;
  uint8_t tail[72] = {0x80};
  size_t pad = (m_used < 56 ? 56 : 120) - m_used;
  for (int i = 0; i < 8; ++i) tail[pad + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Add(tail, pad + 8);
  std::array<uint8_t, 32> out{};
  for (int i = 0; i < 8; ++i) {
    for (int k = 0; k < 4; ++k) out[4 * i + k] = static_cast<uint8_t>(m_state[i] >> (24 - 8 * k));
  }
  return out;
}

}  // namespace tov
