// The conversions at the libcurl and minizip boundary follow the calling
// thread's code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "base/text_win.h"

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
