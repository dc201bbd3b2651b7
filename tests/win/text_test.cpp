// The conversions at the libcurl and minizip boundary follow the calling
// thread's code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "base/text_win.h"
#include "test_support.h"

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

TEST(FileSystemCase, FoldsEveryLetterAsTheSystemComparesNames) {
  // Over the whole basic plane: the folded letter is one the system takes
  // for the same, and folding it again changes nothing, so two spellings of
  // one name fold alike.
  int folded = 0;
  for (unsigned code = 1; code <= 0xFFFF; ++code) {
    if (code >= 0xD800 && code < 0xE000) continue;  // surrogates: no letters alone
    wchar_t c = static_cast<wchar_t>(code);
    std::wstring one(1, c);
    std::wstring up = FileSystemUpperCase(one);
    ASSERT_EQ(up.size(), 1u) << int(c);
    ASSERT_EQ(CompareStringOrdinal(one.c_str(), 1, up.c_str(), 1, TRUE), CSTR_EQUAL) << int(c);
    ASSERT_EQ(FileSystemUpperCase(up), up) << int(c);
    folded += up != one;
  }
  // Far more than the 26 letters of A-Z.
  EXPECT_GT(folded, 500);
  EXPECT_EQ(FileSystemUpperCase(L"bm/d\u00e4t\u03c3\u0436.txt"), L"BM/D\u00c4T\u03a3\u0416.TXT");

  // And the file system itself takes both spellings for one file.
  std::wstring dir = testing_support::TempPath(L"tov-case-" + std::to_wstring(GetCurrentProcessId()));
  CreateDirectoryW(dir.c_str(), nullptr);
  testing_support::WriteTestFile(dir + L"\\\u00e4\u03c3.txt", "lower");
  EXPECT_EQ(testing_support::ReadFileBytes(dir + L"\\" + FileSystemUpperCase(L"\u00e4\u03c3.txt")), "lower");
  DeleteFileW((dir + L"\\\u00e4\u03c3.txt").c_str());
  RemoveDirectoryW(dir.c_str());
}
