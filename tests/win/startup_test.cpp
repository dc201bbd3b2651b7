// Start-up's Windows bindings: the local log file, message boxes, the game
// process check and the resources the launcher carries.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/app_state.h"
#include "base/launcher_log.h"
#include "app/web_app.h"
#include "base/message_box.h"
#include "resource_ids.h"

namespace {

std::wstring TempPath(const std::wstring& name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name;
}

std::string ReadAll(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string data;
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) data.append(buf, n);
  CloseHandle(h);
  return data;
}

}  // namespace

TEST(LocalLog, WritesUtf8LinesWithCrLfAndDropsEverythingAfterClose) {
  std::wstring path = TempPath(L"tov-log-\u4e2d.log");
  {
    CLauncherLog log(path);
    ASSERT_TRUE(log.IsOpen());
    log.LogInfo(L"C:\\\u6e38\u620f", "CWebApp::InitApplication", 12);
    log.LogError(L"two\nlines", "CWebApp::UnInstall", 34);
    log.CloseFile();
    log.LogInfo(L"after close", "CWebApp::UnInstall", 56);
  }
  std::string text = ReadAll(path);
  EXPECT_NE(text.find("][INFO][CWebApp::InitApplication::12] C:\\\xe6\xb8\xb8\xe6\x88\x8f\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("][ERROR][CWebApp::UnInstall::34][two\r\nlines]\r\n"), std::string::npos);
  EXPECT_EQ(text.find("after close"), std::string::npos);
  DeleteFileW(path.c_str());
}

TEST(LocalLog, EachRunTruncatesButARunningLogIsNotTakenOver) {
  std::wstring path = TempPath(L"tov-log-runs.log");
  { CLauncherLog(path).LogInfo(L"first run", "A::B", 1); }
  CLauncherLog second(path);
  second.LogInfo(L"second run", "A::B", 2);
  // A refused launcher opening the same file while this one runs must not
  // truncate it.
  CLauncherLog intruder(path);
  EXPECT_FALSE(intruder.IsOpen());
  intruder.LogInfo(L"intruder", "A::B", 3);
  second.CloseFile();
  std::string text = ReadAll(path);
  EXPECT_EQ(text.find("first run"), std::string::npos);
  EXPECT_NE(text.find("second run"), std::string::npos);
  EXPECT_EQ(text.find("intruder"), std::string::npos);
  DeleteFileW(path.c_str());
}

TEST(LocalLog, PathBeyondTheClassicLimitOpensNothing) {
  std::wstring longPath = TempPath(std::wstring(300, L'x') + L".log");
  CLauncherLog log(longPath);
  EXPECT_FALSE(log.IsOpen());
  log.LogInfo(L"dropped", "A::B", 1);  // must not crash
}

TEST(LocalLog, LinesFromManyThreadsNeverInterleave) {
  std::wstring path = TempPath(L"tov-log-threads.log");
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
  std::istringstream lines(ReadAll(path));
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

TEST(MessageBoxes, TheApplicationBoxUsesAppNameAndAWarningIconForOk) {
  GetAppState().appName = L"Brakmoor";
  std::vector<tov::MessageBoxCall> calls;
  tov::SetMessageBoxHook([&](const tov::MessageBoxCall& c) {
    calls.push_back(c);
    return IDYES;
  });
  tov::AppMessageBox(L"\u521b\u5efa\u6570\u636e\u76ee\u5f55\u5931\u8d25,\u9519\u8bafid:5", MB_OK);
  EXPECT_EQ(tov::AppMessageBox(L"\u786e\u5b9a\u8981\u5378\u8f7d\u5417?", MB_YESNO | MB_ICONQUESTION),
            IDYES);
  tov::SetMessageBoxHook(nullptr);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].caption, L"Brakmoor");
  EXPECT_EQ(calls[0].owner, nullptr);
  EXPECT_EQ(calls[0].flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(calls[1].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
}

// Runs only as a stand-in game process for the test below.
TEST(GameStandIn, WaitsUntilTold) {
  wchar_t flag[MAX_PATH];
  if (!GetEnvironmentVariableW(L"TOV_GAME_STANDIN", flag, MAX_PATH)) GTEST_SKIP();
  for (int i = 0; i < 600 && GetFileAttributesW(flag) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
}

TEST(GameProcess, FoundByItsFileNameInAnyCase) {
  EXPECT_FALSE(GetWebApp().IsGameRunning());

  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring dir = TempPath(L"tov-game");
  CreateDirectoryW(dir.c_str(), nullptr);
  std::wstring game = dir + L"\\BM.EXE";
  ASSERT_TRUE(CopyFileW(self, game.c_str(), FALSE));
  std::wstring flag = dir + L"\\running";
  std::ofstream(flag.c_str()) << "x";
  SetEnvironmentVariableW(L"TOV_GAME_STANDIN", flag.c_str());
  std::wstring cmd = L"\"" + game + L"\" --gtest_filter=GameStandIn.*";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                             &pi));
  SetEnvironmentVariableW(L"TOV_GAME_STANDIN", nullptr);
  bool seen = false;
  for (int i = 0; i < 100 && !seen; ++i) {
    seen = GetWebApp().IsGameRunning();
    if (!seen) Sleep(50);
  }
  DeleteFileW(flag.c_str());
  WaitForSingleObject(pi.hProcess, 30000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_TRUE(seen);
  EXPECT_FALSE(GetWebApp().IsGameRunning());
}

TEST(Resources, TheLauncherCarriesItsTemplatesImagesIconAndVersion) {
  // Tests link the launcher's resource script, so this module holds them.
  HMODULE self = GetModuleHandleW(nullptr);
  EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(IDD_TOVLAUNCHER_DIALOG), RT_DIALOG), nullptr);
  EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(IDD_CONTENT_PANEL), RT_DIALOG), nullptr);
  HRSRC group = FindResourceW(self, MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  // GRPICONDIR: reserved, type, count, then one 14-byte entry per image.
  auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(self, group)));
  WORD count = *reinterpret_cast<const WORD*>(dir + 4);
  ASSERT_EQ(count, 5);
  std::vector<int> sizes;
  for (int i = 0; i < count; ++i) {
    const BYTE* e = dir + 6 + 14 * i;
    sizes.push_back(e[0] == 0 ? 256 : e[0]);
    EXPECT_EQ(*reinterpret_cast<const WORD*>(e + 6), 32) << "bits per pixel of entry " << i;
  }
  EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48, 64, 128}));

  for (int id : {IDB_CLOSE_PNG, IDB_BACKGROUND_PNG}) {
    HRSRC png = FindResourceW(self, MAKEINTRESOURCEW(id), L"PNG");
    ASSERT_NE(png, nullptr) << id;
    auto* data = static_cast<const BYTE*>(LockResource(LoadResource(self, png)));
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(data + 1), 3), "PNG");
    auto be32 = [](const BYTE* p) { return (p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; };
    int w = be32(data + 16), h = be32(data + 20);
    if (id == IDB_CLOSE_PNG) {
      EXPECT_EQ(w, 30);
      EXPECT_EQ(h, 30);
    } else {
      EXPECT_EQ(w, 1280);
      EXPECT_EQ(h, 714);
    }
  }

  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, info.data()));
  auto value = [&](const wchar_t* name) {
    void* p = nullptr;
    UINT len = 0;
    std::wstring key = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    if (!VerQueryValueW(info.data(), key.c_str(), &p, &len)) return std::wstring(L"<none>");
    return std::wstring(static_cast<const wchar_t*>(p));
  };
  EXPECT_EQ(value(L"FileDescription"), L"TovLauncher");
  EXPECT_EQ(value(L"InternalName"), L"TovLauncher.exe");
  EXPECT_EQ(value(L"FileVersion"), L"1.0.0.1");
  EXPECT_EQ(value(L"ProductVersion"), L"1.0.0.1");
  EXPECT_EQ(value(L"ProductName"), L"\u542f\u52a8\u5668");
  EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(1), RT_MANIFEST), nullptr);
}
