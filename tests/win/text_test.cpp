// The conversions at the libcurl and minizip boundary follow the calling
// thread's code page; the configuration body is collected as raw bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "base/text_win.h"
#include "provisioning/game_remote_config.h"

TEST(AnsiText, FollowsTheThreadsCodePageAndStopsAtNul) {
  const std::string gbk = "\xcd\xf5\xd5\xdf";  // 王者 in code page 936
  std::thread([&] {
    ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), 0)));
    EXPECT_EQ(AnsiToWide(gbk), L"王者");
    EXPECT_EQ(WideToAnsi(L"王者/bm.zip"), gbk + "/bm.zip");
  }).join();
  std::thread([&] {
    ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 0)));
    EXPECT_EQ(AnsiToWide(gbk), L"\u00cd\u00f5\u00d5\u00df");
    EXPECT_EQ(WideToAnsi(L"a\u738bb"), "a?b");  // the code page's default character
  }).join();
  EXPECT_EQ(WideToAnsi(L""), "");
  EXPECT_EQ(AnsiToWide(std::string("EntryUrl=/a\0EntryUrl=/b", 23)), L"EntryUrl=/a");
}

TEST(ConfigBodyCollection, KeepsEveryByteAndANullBodyAbortsTheTransfer) {
  std::string body;
  char first[] = {'K', '=', '\xcd'};  // a character split between two reads
  char second[] = {'\xf5', '\n', '\0', 'x'};
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(first, 1, sizeof first, &body), sizeof first);
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(second, 2, 2, &body), 4u);
  EXPECT_EQ(body, std::string("K=\xcd\xf5\n\0x", 7));
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(first, 1, sizeof first, nullptr), 0u);
}
