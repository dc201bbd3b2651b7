// The text conversions at the libcurl and minizip boundary use the calling
// thread's ANSI code page, and the configuration body is collected as bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "provisioning/ansi_text_win.h"
#include "provisioning/game_remote_config.h"

namespace {

// Runs `body` on a fresh thread whose locale is `lcid`, so the thread's code
// page differs from the process's.
template <typename F>
void OnThreadWithLocale(LCID lcid, F body) {
  std::thread([&] {
    ASSERT_TRUE(SetThreadLocale(lcid));
    body();
  }).join();
}

}  // namespace

TEST(AnsiText, FollowsTheThreadsCodePage) {
  const std::string gbk = "\xcd\xf5\xd5\xdf";  // 王者 in code page 936
  OnThreadWithLocale(MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_DEFAULT),
                     [&] {
                       EXPECT_EQ(AnsiToWide(gbk), L"王者");
                       EXPECT_EQ(WideToAnsi(L"王者/bm.zip"), gbk + "/bm.zip");
                     });
  OnThreadWithLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT), [&] {
    EXPECT_EQ(AnsiToWide("\xe9t\xe9"), L"\u00e9t\u00e9");
    EXPECT_EQ(AnsiToWide(gbk), L"\u00cd\u00f5\u00d5\u00df");
    // Not representable: the code page's default character.
    EXPECT_EQ(WideToAnsi(L"a\u738bb"), "a?b");
  });
}

TEST(AnsiText, EmptyStaysEmptyAndDecodingStopsAtTheFirstNul) {
  EXPECT_EQ(WideToAnsi(L""), "");
  EXPECT_EQ(AnsiToWide(""), L"");
  EXPECT_EQ(AnsiToWide(std::string("EntryUrl=/a\0EntryUrl=/b", 23)), L"EntryUrl=/a");
  EXPECT_EQ(AnsiToWide(std::string("\0rest", 5)), L"");
}

TEST(ConfigBodyCollection, KeepsEveryByteUntilTheEndAndRefusesANullBody) {
  std::string body;
  char first[] = {'K', '=', '\xcd'};  // a character split between two reads
  char second[] = {'\xf5', '\n', '\0', 'x'};
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(first, 1, sizeof first, &body), sizeof first);
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(second, 2, 2, &body), 4u);
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(second, 0, 4, &body), 0u);
  EXPECT_EQ(body, std::string("K=\xcd\xf5\n\0x", 7));
  // Zero makes libcurl abort the transfer.
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(first, 1, sizeof first, nullptr), 0u);
}
