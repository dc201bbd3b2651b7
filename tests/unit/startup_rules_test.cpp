#include "app/startup_rules.h"

#include <gtest/gtest.h>

namespace tov {

TEST(InstallRoot, PrefersCThenDThenWorkingDirectory) {
  EXPECT_EQ(ChooseInstallRoot(L"E:\\Downloads", true, true, L"webvarn"), L"C:\\bm-webvarn");
  EXPECT_EQ(ChooseInstallRoot(L"E:\\Downloads", false, true, L"webvarn"), L"D:\\bm-webvarn");
  EXPECT_EQ(ChooseInstallRoot(L"E:\\My Games", false, false, L"webvarn"),
            L"E:\\My Games\\bm-webvarn");
}

TEST(UninstallSwitch, OnlyTheWholeTailInAnyCase) {
  EXPECT_TRUE(IsUninstallTail(L"/uninstall"));
  EXPECT_TRUE(IsUninstallTail(L"/UNINSTALL"));
  EXPECT_TRUE(IsUninstallTail(L"/UnInstall"));
  EXPECT_FALSE(IsUninstallTail(L"/uninstall "));
  EXPECT_FALSE(IsUninstallTail(L"/uninstall x"));
  EXPECT_FALSE(IsUninstallTail(L" /uninstall"));
  EXPECT_FALSE(IsUninstallTail(L"uninstall"));
  EXPECT_FALSE(IsUninstallTail(L""));
}

TEST(CommandLineTail, SkipsTheProgramNameAndLeadingBlanks) {
  EXPECT_EQ(CommandLineTail(L"C:\\bm-webvarn\\Brakmoor.exe /uninstall"), L"/uninstall");
  EXPECT_EQ(CommandLineTail(L"\"C:\\My Games\\TovLauncher.exe\"   /UNINSTALL"), L"/UNINSTALL");
  EXPECT_EQ(CommandLineTail(L"\"C:\\My Games\\TovLauncher.exe\""), L"");
  EXPECT_EQ(CommandLineTail(L"TovLauncher.exe"), L"");
  EXPECT_EQ(CommandLineTail(L"a.exe /uninstall x"), L"/uninstall x");
  EXPECT_EQ(CommandLineTail(L"a.exe /uninstall "), L"/uninstall ");
}

TEST(ProcessName, ComparesWithoutCase) {
  EXPECT_TRUE(SameFileName(L"BM.EXE", L"bm.exe"));
  EXPECT_TRUE(SameFileName(L"Bm.Exe", L"bm.exe"));
  EXPECT_FALSE(SameFileName(L"bm.exe.bak", L"bm.exe"));
  EXPECT_FALSE(SameFileName(L"Brakmoor.exe", L"bm.exe"));
}

TEST(DumpFileName, PadsEveryFieldWithZeros) {
  EXPECT_EQ(DumpFileName(L"C:\\bm-webvarn\\TovLauncher", 2021, 9, 5, 7, 6, 3),
            L"C:\\bm-webvarn\\TovLauncher_2021_09_05_07_06_03.dmp");
  EXPECT_EQ(DumpFileName(L"X", 12345, 12, 31, 23, 59, 59), L"X_12345_12_31_23_59_59.dmp");
}

}  // namespace tov
