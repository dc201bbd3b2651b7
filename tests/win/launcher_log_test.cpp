// The local log file: its lines as written, one run's file at a time.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/launcher_log.h"
#include "test_support.h"

TEST(LocalLog, WritesUtf8LinesWithCrLfAndDropsEverythingAfterClose) {
  std::wstring path = testing_support::TempPath(L"tov-log-\u4e2d.log");
  {
    CLauncherLog log(path);
    ASSERT_TRUE(log.IsOpen());
    log.LogInfo(L"C:\\\u6e38\u620f", "CWebApp::InitApplication", 12);
    log.LogError(L"two\nlines", "CWebApp::UnInstall", 34);
    log.CloseFile();
    log.LogInfo(L"after close", "CWebApp::UnInstall", 56);
  }
  std::string text = testing_support::ReadFileBytes(path);
  EXPECT_NE(text.find("][INFO][CWebApp::InitApplication::12] C:\\\xe6\xb8\xb8\xe6\x88\x8f\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("][ERROR][CWebApp::UnInstall::34][two\r\nlines]\r\n"), std::string::npos);
  EXPECT_EQ(text.find("after close"), std::string::npos);
  DeleteFileW(path.c_str());
}

TEST(LocalLog, EachRunTruncatesButARunningLogIsNotTakenOver) {
  std::wstring path = testing_support::TempPath(L"tov-log-runs.log");
  { CLauncherLog(path).LogInfo(L"first run", "A::B", 1); }
  CLauncherLog second(path);
  second.LogInfo(L"second run", "A::B", 2);
  // A refused launcher opening the same file while this one runs must not
  // truncate it.
  CLauncherLog intruder(path);
  EXPECT_FALSE(intruder.IsOpen());
  intruder.LogInfo(L"intruder", "A::B", 3);
  second.CloseFile();
  std::string text = testing_support::ReadFileBytes(path);
  EXPECT_EQ(text.find("first run"), std::string::npos);
  EXPECT_NE(text.find("second run"), std::string::npos);
  EXPECT_EQ(text.find("intruder"), std::string::npos);
  DeleteFileW(path.c_str());
}

TEST(LocalLog, PathBeyondTheClassicLimitOpensNothing) {
  std::wstring longPath = testing_support::TempPath(std::wstring(300, L'x') + L".log");
  CLauncherLog log(longPath);
  EXPECT_FALSE(log.IsOpen());
  log.LogInfo(L"dropped", "A::B", 1);  // must not crash
}

TEST(LocalLog, LinesFromManyThreadsNeverInterleave) {
  std::wstring path = testing_support::TempPath(L"tov-log-threads.log");
  {
    CLauncherLog log(path);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&log, t] {
        std::wstring message(200, static_cast<wchar_t>(L'a' + t));
        for (int i = 0; i < 200; ++i) log.LogInfo(message, "T::Run", t);
      });
    }
    for (auto& th : threads) th.join();
  }
  std::istringstream lines(testing_support::ReadFileBytes(path));
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    ASSERT_GE(line.size(), 202u);
    ASSERT_EQ(line.back(), '\r');
    std::string body = line.substr(line.size() - 201, 200);
    ASSERT_EQ(body, std::string(200, body[0])) << line;
  }
  EXPECT_EQ(count, 8 * 200);
  DeleteFileW(path.c_str());
}

TEST(LocalLog, AReservedPlaceHoldsLaterLinesBackUntilItIsFilledOrGivenUp) {
  std::wstring path = testing_support::TempPath(L"tov-log-places.log");
  {
    CLauncherLog log(path);
    size_t first = log.ReserveLine();
    size_t second = log.ReserveLine();
    log.LogInfo(L"third", "A::B", 3);
    EXPECT_EQ(testing_support::ReadFileBytes(path), "") << "nothing passes an empty place";
    // Filled from another thread, out of order: the file keeps the places.
    std::thread([&] { log.FillInfoLine(second, L"second", "A::B", 2); }).join();
    EXPECT_EQ(testing_support::ReadFileBytes(path), "");
    log.FillInfoLine(first, L"first", "A::B", 1);
    size_t fourth = log.ReserveLine();
    log.LogError(L"fifth", "A::B", 5);
    // A place never filled is given up after a crash or at the close; what
    // waited behind it is not.
    log.FlushAfterCrash();
    EXPECT_NE(testing_support::ReadFileBytes(path).find("fifth"), std::string::npos);
    log.CloseFile();
    log.FillInfoLine(fourth, L"fourth", "A::B", 4);
  }
  std::string text = testing_support::ReadFileBytes(path);
  EXPECT_LT(text.find("first"), text.find("second"));
  EXPECT_LT(text.find("second"), text.find("third"));
  EXPECT_LT(text.find("third"), text.find("fifth"));
  EXPECT_EQ(text.find("fourth"), std::string::npos) << text;
  EXPECT_NE(text.find("][INFO][A::B::2] second\r\n"), std::string::npos) << text;
  DeleteFileW(path.c_str());
}
