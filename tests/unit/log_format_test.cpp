#include "base/log_format.h"
#include "base/utf8.h"

#include <gtest/gtest.h>

namespace tov {

TEST(LogFormat, InfoAndErrorLinesHaveTheirFixedShapes) {
  std::wstring stamp = BuildStamp("Sep 15 2021", "19:46:13");
  EXPECT_EQ(stamp, L"Sep 15 2021 19:46:13");
  EXPECT_EQ(FormatInfoLine(stamp, L"CWebApp::InitInstance", 130, L"Laucher Start"),
            L"[Sep 15 2021 19:46:13][INFO][CWebApp::InitInstance::130] Laucher Start\n");
  EXPECT_EQ(FormatErrorLine(stamp, L"CWebApp::UnInstall", 7, L"unistall succ"),
            L"[Sep 15 2021 19:46:13][ERROR][CWebApp::UnInstall::7][unistall succ]\n");
}

TEST(LogFormat, EmptyAndMultiLineMessagesStayUnchanged) {
  EXPECT_EQ(FormatInfoLine(L"s", L"A::B", 1, L""), L"[s][INFO][A::B::1] \n");
  EXPECT_EQ(FormatErrorLine(L"s", L"A::B", 1, L""), L"[s][ERROR][A::B::1][]\n");
  EXPECT_EQ(FormatInfoLine(L"s", L"A::B", 1, L"one\ntwo"), L"[s][INFO][A::B::1] one\ntwo\n");
}

TEST(LogFormat, CompilerBuildStampHasTheExpectedForm) {
  std::wstring stamp = BuildStamp(__DATE__, __TIME__);
  ASSERT_EQ(stamp.size(), 20u);  // "Mmm dd yyyy hh:mm:ss"
  EXPECT_EQ(stamp[3], L' ');
  EXPECT_EQ(stamp[11], L' ');
  EXPECT_EQ(stamp[14], L':');
  EXPECT_EQ(stamp[17], L':');
}

TEST(Utf8, EncodesChineseAndSurrogatePairs) {
  EXPECT_EQ(WideToUtf8(L"\u6e38\u620f\u5df2\u542f\u52a8"),
            "\xe6\xb8\xb8\xe6\x88\x8f\xe5\xb7\xb2\xe5\x90\xaf\xe5\x8a\xa8");
  std::wstring pair;
  if (sizeof(wchar_t) == 2) {
    pair = {wchar_t(0xD83D), wchar_t(0xDE00)};
  } else {
    pair = {wchar_t(0x1F600)};
  }
  EXPECT_EQ(WideToUtf8(pair), "\xf0\x9f\x98\x80");
  EXPECT_EQ(WideToUtf8(std::wstring(1, wchar_t(0xD800))), "\xef\xbf\xbd");
  EXPECT_EQ(WideToUtf8(L""), "");
}

}  // namespace tov
