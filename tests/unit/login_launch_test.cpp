#include "web/login_launch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace tov {

TEST(LoginResultText, FieldZeroDecidesFieldOneIsKept) {
  auto ok = ParseLoginResult(L"true|account=a&token=t");
  EXPECT_EQ(ok.kind, LoginResult::Accepted);
  EXPECT_EQ(ok.params, L"account=a&token=t");
  EXPECT_EQ(ParseLoginResult(L"TRUE|x").kind, LoginResult::Accepted);
  EXPECT_EQ(ParseLoginResult(L"tRuE|x").kind, LoginResult::Accepted);
  EXPECT_EQ(ParseLoginResult(L"true|a|b|c").params, L"a");
  auto empty = ParseLoginResult(L"true|");
  EXPECT_EQ(empty.kind, LoginResult::Accepted);
  EXPECT_EQ(empty.params, L"");
  EXPECT_EQ(ParseLoginResult(L" true|x").kind, LoginResult::Refused);
  EXPECT_EQ(ParseLoginResult(L"false|").kind, LoginResult::Refused);
  EXPECT_EQ(ParseLoginResult(L"yes|x").kind, LoginResult::Refused);
  EXPECT_EQ(ParseLoginResult(L"true").kind, LoginResult::Malformed);
  EXPECT_EQ(ParseLoginResult(L"").kind, LoginResult::Malformed);
}

TEST(GameCommandLine, InsertsEverythingUnquotedAndRefusesWhatWouldNotFit) {
  EXPECT_EQ(*ComposeGameCommandLine(L"\"C:\\bm-chan\\Halvard.exe\"", L"a b", L"x=1"),
            L"\"C:\\bm-chan\\Halvard.exe\" --parameters=a b --plat_extra=x=1");
  EXPECT_EQ(*ComposeGameCommandLine(L"L.exe", L"", L""), L"L.exe --parameters= --plat_extra=");
  // " --parameters=" and " --plat_extra=" take 28 characters.
  std::wstring fits(1023 - 28, L'p');
  EXPECT_TRUE(ComposeGameCommandLine(L"", fits, L"").has_value());
  EXPECT_FALSE(ComposeGameCommandLine(L"", fits + L"p", L"").has_value());
  EXPECT_FALSE(ComposeGameCommandLine(L"", fits, L"", L"x").has_value());
}

TEST(LuaPathOverride, FirstLineBecomesOneQuotedArgument) {
  EXPECT_EQ(LuaPathArgument(LuaPathCandidate(L"D:\\dev\\lua\r\nignored")), L" \"--luapath=D:\\dev\\lua\"");
  EXPECT_EQ(LuaPathArgument(LuaPathCandidate(L"D:\\my scripts\n")), L" \"--luapath=D:\\my scripts\"");
  EXPECT_EQ(LuaPathCandidate(L"c:/lua"), L"c:/lua");
  EXPECT_EQ(LuaPathCandidate(L""), L"");
  EXPECT_EQ(LuaPathCandidate(L"\r\nD:\\x"), L"");
  // A backslash before the closing quote would escape it and carry the
  // quote into the directory.
  EXPECT_EQ(LuaPathArgument(L"D:\\"), L" \"--luapath=D:\\\\\"");
  EXPECT_EQ(LuaPathArgument(L"D:\\lua\\\\"), L" \"--luapath=D:\\lua\\\\\\\\\"");
  EXPECT_EQ(LuaPathArgument(LuaPathCandidate(L"D:\\my scripts\\\n")), L" \"--luapath=D:\\my scripts\\\\\"");
}

TEST(LuaPathOverride, OnlyAnAbsoluteDrivePathIsTaken) {
  for (const wchar_t* refused :
       {L"\\\\127.0.0.1\\share\\lua", L"//127.0.0.1/share", L"\\\\?\\UNC\\host\\share",
        L"\\\\?\\C:\\lua", L"\\\\.\\C:\\lua", L"\\lua", L"lua\\dev", L"D:lua", L"D:", L"1:\\lua",
        L"D:\\x\" --gm=1", L"D:\\x\t--gm=1", L" D:\\lua", L"file://D:/lua"}) {
    EXPECT_EQ(LuaPathCandidate(refused), L"") << refused;
  }
}

TEST(ScriptCallLog, FormatsBothTextsAndCutsAtTheBuffer) {
  EXPECT_EQ(ScriptCallLogText(L"LoginResult", L"true|a"), L"method:LoginResult,paramters:true|a");
  EXPECT_EQ(ScriptCallLogText(L"", L""), L"method:,paramters:");
  EXPECT_EQ(ScriptCallLogText(L"m", std::wstring(5000, L'x')).size(), 1023u);
}

TEST(LaunchGate, LaunchesOnceOnWhicheverCameSecond) {
  LaunchGate loginFirst;
  EXPECT_FALSE(loginFirst.LoginSucceeded());
  EXPECT_TRUE(loginFirst.BecameReady());
  EXPECT_FALSE(loginFirst.LoginSucceeded());
  LaunchGate readyFirst;
  EXPECT_FALSE(readyFirst.BecameReady());
  EXPECT_TRUE(readyFirst.LoginSucceeded());
  EXPECT_FALSE(readyFirst.BecameReady());
}

TEST(LaunchGate, RacingTriggersLaunchExactlyOncePerRound) {
  constexpr int kRounds = 5000;
  int loginLaunches = 0, readyLaunches = 0;
  for (int round = 0; round < kRounds; ++round) {
    LaunchGate gate;
    std::atomic<int> go{0};
    bool byLogin = false, byReady = false;
    std::thread login([&] {
      go.fetch_add(1);
      while (go.load() < 2) {
      }
      byLogin = gate.LoginSucceeded();
    });
    std::thread ready([&] {
      go.fetch_add(1);
      while (go.load() < 2) {
      }
      byReady = gate.BecameReady();
    });
    login.join();
    ready.join();
    ASSERT_NE(byLogin, byReady) << "round " << round << " launched " << (byLogin + byReady)
                                << " times";
    loginLaunches += byLogin;
    readyLaunches += byReady;
  }
  EXPECT_EQ(loginLaunches + readyLaunches, kRounds);
}

}  // namespace tov
