#include "provisioning/sha256.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "provisioning/package_integrity.h"

namespace tov {
namespace {

std::string Hex(const std::array<uint8_t, 32>& digest) { return ToHex(digest.data(), digest.size()); }

std::vector<Sha256Engine> Engines() {
  std::vector<Sha256Engine> engines{Sha256Engine::Portable};
  if (CpuHasSha256()) engines.push_back(Sha256Engine::CpuInstructions);
  return engines;
}

TEST(Sha256, KnownDigestsOnEveryEngine) {
  const std::string million(1000000, 'a');
  const std::pair<std::string, const char*> known[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}};
  for (Sha256Engine engine : Engines()) {
    for (const auto& [text, digest] : known) {
      Sha256 whole(engine);
      whole.Add(text.data(), text.size());
      EXPECT_EQ(Hex(whole.Finish()), digest) << int(engine) << " " << text.size();
    }
  }
}

TEST(Sha256, BlocksOfAnySizeGiveTheDigestOfTheWhole) {
  // Lengths around the block and padding edges, split at random places, and
  // the processor's instructions against the plain code.
  std::mt19937 rng(11);
  for (size_t length : {0, 1, 55, 56, 63, 64, 65, 119, 120, 127, 128, 1000, 65536 + 17}) {
    std::vector<uint8_t> data(length);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    Sha256 reference(Sha256Engine::Portable);
    reference.Add(data.data(), data.size());
    const std::string expected = Hex(reference.Finish());
    for (Sha256Engine engine : Engines()) {
      Sha256 pieces(engine);
      for (size_t at = 0; at < length;) {
        size_t piece = std::min<size_t>(length - at, rng() % 150);
        pieces.Add(data.data() + at, piece);
        at += piece;
      }
      EXPECT_EQ(Hex(pieces.Finish()), expected) << int(engine) << " " << length;
    }
  }
}

}  // namespace
}  // namespace tov
