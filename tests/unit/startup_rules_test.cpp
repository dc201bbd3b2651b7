#include "app/startup_rules.h"

#include <gtest/gtest.h>

namespace tov {

TEST(InstallRoot, PrefersCThenDThenWorkingDirectory) {
  EXPECT_EQ(ChooseInstallRoot(L"E:\\Downloads", true, true, L"chan"), L"C:\\bm-chan");
  EXPECT_EQ(ChooseInstallRoot(L"E:\\Downloads", false, true, L"chan"), L"D:\\bm-chan");
  EXPECT_EQ(ChooseInstallRoot(L"E:\\My Games", false, false, L"chan"),
            L"E:\\My Games\\bm-chan");
}

TEST(UninstallSwitch, OnlyTheWholeTailInAnyCase) {
  for (const wchar_t* tail : {L"/uninstall", L"/UNINSTALL", L"/UnInstall"}) {
    EXPECT_TRUE(IsUninstallTail(tail)) << tail;
  }
  for (const wchar_t* tail : {L"/uninstall ", L"/uninstall x", L" /uninstall", L"uninstall", L""}) {
    EXPECT_FALSE(IsUninstallTail(tail)) << tail;
  }
}

TEST(CommandLineTail, SkipsTheProgramNameAndLeadingBlanks) {
  EXPECT_EQ(CommandLineTail(L"C:\\bm-chan\\Halvard.exe /uninstall"), L"/uninstall");
  EXPECT_EQ(CommandLineTail(L"\"C:\\My Games\\TovLauncher.exe\"   /UNINSTALL"), L"/UNINSTALL");
  EXPECT_EQ(CommandLineTail(L"\"C:\\My Games\\TovLauncher.exe\""), L"");
  EXPECT_EQ(CommandLineTail(L"TovLauncher.exe"), L"");
  EXPECT_EQ(CommandLineTail(L"a.exe /uninstall x"), L"/uninstall x");
  EXPECT_EQ(CommandLineTail(L"a.exe /uninstall "), L"/uninstall ");
}

TEST(ProcessName, ComparesWithoutCase) {
  EXPECT_TRUE(SameFileName(L"GAME.EXE", L"game.exe"));
  EXPECT_TRUE(SameFileName(L"Game.Exe", L"game.exe"));
  EXPECT_FALSE(SameFileName(L"game.exe.bak", L"game.exe"));
  EXPECT_FALSE(SameFileName(L"Halvard.exe", L"game.exe"));
}

TEST(DumpFileName, PadsEveryFieldWithZeros) {
  EXPECT_EQ(DumpFileName(L"C:\\bm-chan\\TovLauncher", 2021, 9, 5, 7, 6, 3),
            L"C:\\bm-chan\\TovLauncher_2021_09_05_07_06_03.dmp");
  EXPECT_EQ(DumpFileName(L"X", 12345, 12, 31, 23, 59, 59), L"X_12345_12_31_23_59_59.dmp");
}

}  // namespace tov
