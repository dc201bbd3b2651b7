// The identifier's digest through the system's crypto provider.
#include "telemetry/md5.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

TEST(Md5Hex, MatchesTheRfc1321TestSuite) {
  const struct {
    const wchar_t* text;
    const wchar_t* digest;
  } kSuite[] = {
      {L"", L"d41d8cd98f00b204e9800998ecf8427e"},
      {L"a", L"0cc175b9c0f1b6a831c399e269772661"},
      {L"abc", L"900150983cd24fb0d6963f7d28e17f72"},
      {L"message digest", L"f96b697d7cb7938d525a2f31aaf161d0"},
      {L"abcdefghijklmnopqrstuvwxyz", L"c3fcd3d76192e4007dfb496cca67e13b"},
      {L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", L"d174ab98d277d9f5a5611c2c9f419d9f"},
      {L"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       L"57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : kSuite) EXPECT_EQ(Md5Hex(c.text), c.digest) << "input \"" << testing::PrintToString(c.text) << "\"";
}

TEST(Md5Hex, HashesNonAsciiAsUtf8NotAsTheCodePage) {
  EXPECT_EQ(Md5Hex(L"\u4e2d\u6587\u5e8f\u5217\u53f7"), L"3c42c71ba0345bdcaac5fc921ceeeb8f");
  // In the Western code page "é" is one byte; its digest would be
  // 8da1b30c4fd00975f91b7f8e9766f9d0.
  EXPECT_EQ(Md5Hex(L"SN-\u00e9"), L"bf53a8b1ab5e9a1744779b342b3477ab");
  EXPECT_EQ(Md5Hex(L"SN-\u00e9-\u03a9"), L"5ad7e1f566049d39b52446b84912cd70");
  // A character outside the basic plane arrives as a surrogate pair.
  EXPECT_EQ(Md5Hex(L"\U0001F600"), L"2a02eac39d716a70ecf37579185927b6");
}

TEST(Md5Hex, SameInputSameTextOnEveryCallAndThreadSafe) {
  const std::wstring serials = L"To be filled by O.E.M.";
  const std::wstring first = Md5Hex(serials);
  EXPECT_EQ(first, L"470d5fdaad2df1656772d4b8f03de977");
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i)
        if (Md5Hex(serials) != first) ++mismatches;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
