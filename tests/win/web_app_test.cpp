// The game process check: the client found among the running processes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/web_app.h"
#include "base/launcher_settings.h"
#include "test_support.h"

// Runs only as a stand-in game process for the test below.
TEST(GameStandIn, WaitsUntilTold) {
  wchar_t flag[MAX_PATH];
  if (!GetEnvironmentVariableW(L"TOV_GAME_STANDIN", flag, MAX_PATH)) GTEST_SKIP();
  testing_support::WaitFor([&] { return !testing_support::PathExists(flag); }, 30000, 50);
}

TEST(GameProcess, FoundByItsFileNameInAnyCase) {
  EXPECT_FALSE(GetWebApp().IsGameRunning());

  std::wstring dir = testing_support::TempPath(L"tov-game");
  CreateDirectoryW(dir.c_str(), nullptr);
  // The process list is searched without regard to case.
  std::wstring upper = kGameProcessName;
  CharUpperW(upper.data());
  std::wstring game = dir + L"\\" + upper;
  ASSERT_TRUE(CopyFileW(testing_support::ModulePath().c_str(), game.c_str(), FALSE));
  std::wstring flag = dir + L"\\running";
  testing_support::WriteTestFile(flag, "x");
  SetEnvironmentVariableW(L"TOV_GAME_STANDIN", flag.c_str());
  tov::UniqueHandleK child = testing_support::StartTestChild(game, L"GameStandIn.*");
  ASSERT_TRUE(child);
  SetEnvironmentVariableW(L"TOV_GAME_STANDIN", nullptr);
  const bool seen = testing_support::WaitFor([] { return GetWebApp().IsGameRunning(); }, 10000, 50);
  DeleteFileW(flag.c_str());
  WaitForSingleObject(child.get(), 30000);
  EXPECT_TRUE(seen);
  EXPECT_FALSE(GetWebApp().IsGameRunning());
}
