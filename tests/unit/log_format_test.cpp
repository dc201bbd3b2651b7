#include "base/log_format.h"

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

}  // namespace tov
