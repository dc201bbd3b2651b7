// The login result and the game start on the launcher's real windows: page
// script through the real script object and engine, the launch gate from
// both threads, the demo game client started for real, and starts that must
// fail without closing the launcher.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "base/app_state.h"
#include "base/com_ptr.h"
#include "base/launcher_settings.h"
#include "base/message_box.h"
#include "base/text_win.h"
#include "launcher_under_test.h"
#include "provisioning/provisioning_settings.h"
#include "script_host.h"
#include "test_support.h"
#include "web/game_start_win.h"
#include "web/script_bridge.h"

namespace {

using testing_support::kDemoGameClass;
using testing_support::ReadFileBytes;
using testing_support::WaitFor;

// One "label_utf16hex=" value of the demo client's report, decoded.
std::wstring ReportValue(const std::string& report, const std::string& label) {
  std::string key = "\n" + label + "_utf16hex=";
  size_t at = report.find(key);
  if (at == std::string::npos) return L"<missing>";
  at += key.size();
  std::wstring value;
  for (; at + 4 <= report.size() && report[at] != '\n'; at += 4) {
    value.push_back(static_cast<wchar_t>(std::stoul(report.substr(at, 4), nullptr, 16)));
  }
  return value;
}

class LoginLaunch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitialize(nullptr);
    AppState& app = GetAppState();
    app.installRoot = testing_support::TempPath(L"tov-login-launch-" + std::to_wstring(GetCurrentProcessId()));
    CreateDirectoryW(app.installRoot.c_str(), nullptr);
    // Wine hands out the same process ids again: an earlier run's log may be
    // there, longer than the one this run's first line starts anew.
    DeleteFileW((app.installRoot + L"\\login-launch.log").c_str());
    app.clientDir = app.installRoot + L"\\client";
    CreateDirectoryW(app.clientDir.c_str(), nullptr);
    CreateDirectoryW((app.clientDir + L"\\" + kGameFolder).c_str(), nullptr);
    app.appName = L"login-launch";
    // Every main window starts a real worker; here its configuration request
    // is refused at once, so it ends without ever reaching the ready state.
    ProvisioningSettings settings = LauncherProvisioningSettings();
    settings.configUrlTemplate = L"http://127.0.0.1:1/client_config_{ditch_name}.php";
    UseProvisioningSettings(settings);
    // The demo game closes itself; the tests close it sooner.
    SetEnvironmentVariableW(L"BM_EXIT_AFTER_MS", L"20000");
  }

  void SetUp() override {
    // Tests that move to another directory are moved back whatever they do.
    GetCurrentDirectoryW(MAX_PATH, previousDirectory);
    GetAppState().firstInstall = 0;
    RemoveGame();
    tov::SetMessageBoxHook([this](const tov::MessageBoxCall& call) {
      boxes.push_back(call);
      return IDOK;
    });
    logStart = Log().size();
  }
  void TearDown() override {
    SetCurrentDirectoryW(previousDirectory);
    tov::SetMessageBoxHook({});
    RemoveGame();
  }

  // Closes every demo game the tests started and removes its files, which
  // stay locked while it runs.
  static void RemoveGame() {
    auto gone = [] {
      for (HWND game; (game = FindWindowW(kDemoGameClass, nullptr)) != nullptr;) {
        PostMessageW(game, WM_CLOSE, 0, 0);
        Sleep(50);
      }
      return (DeleteFileW(GameExe().c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) &&
             (DeleteFileW(StartedFile().c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND);
    };
    ASSERT_TRUE(WaitFor(gone)) << "the demo game did not end";
  }

  static std::wstring GameDir() { return GetAppState().clientDir + L"\\" + kGameFolder; }
  static std::wstring GameExe() { return GameDir() + L"\\" + kGameProcessName; }
  static std::wstring StartedFile() { return GameDir() + L"\\bm_started.txt"; }
  static void InstallGame() { ASSERT_TRUE(CopyFileW(TOV_DEMO_CLIENT, GameExe().c_str(), FALSE)); }

  static std::string Log() { return ReadFileBytes(GetAppState().installRoot + L"\\login-launch.log"); }
  // This test's part of the log.
  std::string NewLog() const { return Log().substr(logStart); }
  size_t Count(const std::string& what) const {
    std::string log = NewLog();
    size_t count = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++count;
    return count;
  }

  // One step of a run: on the window's thread, as page script calls arrive,
  // or on the driving thread, as the provisioning worker's calls do.
  struct Step {
    bool onUi;
    std::function<void(MainWindowView& view)> action;
  };
  static Step Ui(std::function<void(MainWindowView&)> action) { return {true, std::move(action)}; }
  static Step Worker(std::function<void(MainWindowView&)> action) { return {false, std::move(action)}; }

  // Runs `dlg` modally while a driving thread takes the steps in order; the
  // run ends by a launch or, after the steps, by the test's Cancel. A run
  // still going after 30 s fails the test.
  static INT_PTR Run(LauncherUnderTest& launcher, const std::vector<Step>& steps) {
    MainWindowView& view = launcher.view;
    HWND ui = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(ui, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RunOnUi));
    std::atomic<bool> done{false};
    std::thread driver([&] {
      WaitFor([&] { return view.HasContentPanel(); });
      for (const Step& step : steps) {
        if (!step.onUi) {
          step.action(view);
          continue;
        }
        std::function<void()> call = [&] { step.action(view); };
        SendMessageW(ui, WM_APP, 0, reinterpret_cast<LPARAM>(&call));
      }
      view.Cancel();
      done = true;
    });
    UINT_PTR watchdog = SetTimer(nullptr, 0, 30000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); });
    INT_PTR result = launcher.dlg.DoModal();
    KillTimer(nullptr, watchdog);
    // The driver may still ask this thread for steps.
    testing_support::PumpUntil([&] { return done.load(); }, INFINITE);
    driver.join();
    DestroyWindow(ui);
    return result;
  }
  static LRESULT CALLBACK RunOnUi(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_APP) return DefWindowProcW(hwnd, msg, wp, lp);
    (*reinterpret_cast<std::function<void()>*>(lp))();
    return 0;
  }

  // Page script on the launcher's own script object.
  static std::wstring Page(const std::wstring& expression) {
    static CImpIDispatch bridge;
    ScriptHost page(&bridge);
    page.ServeAsTopPage(L"http://127.0.0.1/entry");
    VARIANT result;
    VariantInit(&result);
    EXPECT_TRUE(page.Evaluate(expression, &result)) << std::string(page.error().begin(), page.error().end());
    std::wstring text = V_VT(&result) == VT_BSTR ? std::wstring(V_BSTR(&result), SysStringLen(V_BSTR(&result)))
                                                 : L"<" + std::to_wstring(V_VT(&result)) + L">";
    VariantClear(&result);
    return text;
  }
  static std::wstring Login(const std::wstring& text) {
    return Page(L"window.external.JavascriptToCsharp('LoginResult', '" + text + L"')");
  }

  std::vector<tov::MessageBoxCall> boxes;
  size_t logStart = 0;
  wchar_t previousDirectory[MAX_PATH] = {};
};

}  // namespace

TEST_F(LoginLaunch, PageScriptReachesThePanelsDispatcherWhileThePanelExists) {
  LauncherUnderTest launcher;
  Run(launcher, {Ui([&](MainWindowView&) {
    EXPECT_EQ(Page(L"window.external.JavascriptToCsharp('GetCommandLine', 'ignored')"), testing_support::ModulePath());
    EXPECT_EQ(Page(L"window.external.JavascriptToCsharp('Unknown', 'a b|c')"), L"");
    EXPECT_EQ(Page(L"window.external.JavascriptToCsharp('loginresult', 'true|x')"), L"");
    EXPECT_EQ(Page(L"typeof window.external.JavascriptToCsharp('LoginResult')"), L"undefined");
  })});
  std::string log = NewLog();
  EXPECT_EQ(Count("[CWebCDlg::JavascriptToCPLUSPLUS::"), 3u) << log;
  EXPECT_NE(log.find("] method:GetCommandLine,paramters:ignored\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("] method:Unknown,paramters:a b|c\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("] method:loginresult,paramters:true|x\r\n"), std::string::npos) << log;
  // Lower case is not the login operation.
  EXPECT_EQ(Count("[CWebCDlg::OnLoginResult::"), 0u) << log;

  // Without a panel (its window is gone) nothing is dispatched or logged.
  size_t before = Log().size();
  EXPECT_EQ(launcher.dlg.DispatchScriptCall(L"GetCommandLine", L""), L"");
  EXPECT_EQ(Log().size(), before);
}

TEST_F(LoginLaunch, LoginResultTextsMalformedRefusedThenAcceptedOnce) {
  LauncherUnderTest launcher;
  Run(launcher, {Ui([&](MainWindowView&) {
    Login(L"");
    Login(L"true");
    EXPECT_TRUE(boxes.empty());
    Login(L" true|a");
    Login(L"truex|a");
    Login(L"false|a");
    ASSERT_EQ(boxes.size(), 3u);
    for (const auto& box : boxes) {
      EXPECT_EQ(box.text, L"登录验证未通过");
      EXPECT_EQ(box.caption, L"login-launch");
      EXPECT_EQ(box.flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
      // Owned by the launcher's window, which cannot be clicked beneath it.
      EXPECT_NE(box.owner, nullptr);
      EXPECT_EQ(box.owner, launcher.dlg.GetSafeHwnd());
    }
    // A refusal changes nothing: the next result is taken anew, and after
    // a success every later one is ignored, refusals included.
    Login(L"TrUe|first|ignored");
    Login(L"true|second");
    Login(L"false|x");
    EXPECT_EQ(boxes.size(), 3u);
  })});
  std::string log = NewLog();
  EXPECT_EQ(Count("[INFO][CWebCDlg::OnLoginResult::"), 5u) << log;
  EXPECT_EQ(Count("] paramters is error!\r\n"), 2u) << log;
  EXPECT_EQ(Count("] is logic suc!\r\n"), 1u) << log;
  EXPECT_EQ(Count("] already login\r\n"), 2u) << log;
  // Never ready: nothing started.
  EXPECT_EQ(Count("[CWebCDlg::LaunchGame::"), 0u) << log;
}

TEST_F(LoginLaunch, LoginFirstThenReadyStartsTheGameOnTheWorkerAndEndsTheRun) {
  InstallGame();
  LauncherUnderTest launcher;
  bool launchedInsideSetReady = false;
  bool hiddenWhenDone = false;
  INT_PTR result = Run(launcher, {Ui([&](MainWindowView&) { Login(L"true|user=a b&token=1|rest"); }),
                             Worker([&](MainWindowView& view) {
                               EXPECT_EQ(Count("][CWebCDlg::LaunchGame::"), 0u);
                               view.SetReady();
                               // The launch ran inside SetReady, on this thread.
                               launchedInsideSetReady = Count("] LaunchGame Succ\r\n") == 1;
                               hiddenWhenDone = !IsWindowVisible(launcher.dlg.GetSafeHwnd());
                             })});
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_TRUE(launchedInsideSetReady);
  EXPECT_TRUE(hiddenWhenDone);

  ASSERT_TRUE(WaitFor([&] { return GetFileAttributesW(StartedFile().c_str()) != INVALID_FILE_ATTRIBUTES; }));
  std::string report = ReadFileBytes(StartedFile());
  EXPECT_EQ(ReportValue(report, "command_line"),
            std::wstring(GetCommandLineW()) + L" --parameters=user=a b&token=1 --plat_extra=");
  EXPECT_EQ(ReportValue(report, "working_directory"), GetAppState().clientDir + L"\\bm");
  EXPECT_EQ(ReportValue(report, "executable"), GameExe());

  std::string log = NewLog();
  const char* order[] = {"] is logic suc!\r\n", "] is ready\r\n", "][CWebCDlg::LaunchGame::",
                         "] LaunchGame\r\n", "] LaunchGame Succ\r\n", "][CWebDlg::Cancel::"};
  size_t at = 0;
  for (const char* line : order) {
    size_t next = log.find(line, at);
    EXPECT_NE(next, std::string::npos) << line << "\n" << log;
    if (next != std::string::npos) at = next;
  }
  EXPECT_EQ(Count("] LaunchGame Faild"), 0u);
}

TEST_F(LoginLaunch, ReadyFirstThenLoginStartsInsideTheScriptCallAndMaximisesAFirstInstall) {
  InstallGame();
  GetAppState().firstInstall = 1;
  LauncherUnderTest launcher;
  INT_PTR result = Run(launcher, {Worker([&](MainWindowView& view) { view.SetReady(); }),
                             Ui([&](MainWindowView&) {
                               EXPECT_EQ(Count("] is ready\r\n"), 1u);
                               EXPECT_EQ(Count("][CWebCDlg::LaunchGame::"), 0u);
                               Login(L"true|p");
                               // Back from the script call: the game has
                               // started, after the pause for its window.
                               EXPECT_EQ(Count("] LaunchGame Succ\r\n"), 1u);
                               EXPECT_FALSE(IsWindowVisible(launcher.dlg.GetSafeHwnd()));
                             })});
  EXPECT_EQ(result, IDCANCEL);
  HWND game = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (game = FindWindowW(kDemoGameClass, nullptr)) != nullptr; }));
  EXPECT_TRUE(WaitFor([&] { return IsZoomed(game) != FALSE; }, 5000));
  PostMessageW(game, WM_CLOSE, 0, 0);
  EXPECT_EQ(ReportValue(ReadFileBytes(StartedFile()), "command_line"),
            std::wstring(GetCommandLineW()) + L" --parameters=p --plat_extra=");
}

TEST_F(LoginLaunch, FailedStartsKeepTheLauncherOpenAndAreNotRetried) {
  // No game executable.
  {
    LauncherUnderTest launcher;
    bool openAfterLaunch = false;
    Run(launcher, {Ui([&](MainWindowView&) { Login(L"true|x"); }),
              Worker([&](MainWindowView& view) {
                view.SetReady();
                openAfterLaunch = IsWindowVisible(launcher.dlg.GetSafeHwnd()) && view.HasContentPanel();
              }),
              Ui([&](MainWindowView&) { Login(L"true|again"); })});
    EXPECT_TRUE(openAfterLaunch) << "the launcher did not stay open";
    EXPECT_EQ(Count("] LaunchGame Faild\r\n"), 1u) << NewLog();
    EXPECT_EQ(Count("] LaunchGame Succ"), 0u);
    EXPECT_EQ(Count("] already login\r\n"), 1u);
    EXPECT_EQ(Count("[CWebDlg::Cancel::"), 1u) << "only the test's own Cancel";
  }
  // A command line that would not fit: the game is not run with a cut one.
  InstallGame();
  logStart = Log().size();
  {
    LauncherUnderTest launcher;
    std::wstring longParams(1024 - wcslen(GetCommandLineW()), L'x');
    bool openAfterLaunch = false;
    Run(launcher, {Worker([&](MainWindowView& view) { view.SetReady(); }),
              Ui([&](MainWindowView&) {
                Login(L"true|" + longParams);
                openAfterLaunch = IsWindowVisible(launcher.dlg.GetSafeHwnd()) != FALSE;
              })});
    EXPECT_TRUE(openAfterLaunch);
    EXPECT_EQ(Count("] LaunchGame Faild\r\n"), 1u) << NewLog();
    EXPECT_EQ(Count("][command line too long]\r\n"), 1u) << NewLog();
    Sleep(500);
    EXPECT_EQ(GetFileAttributesW(StartedFile().c_str()), INVALID_FILE_ATTRIBUTES) << "the game ran";
  }
}

TEST_F(LoginLaunch, LuaPathFileInTheCurrentDirectoryNamesTheScriptDirectory) {
  InstallGame();
  std::wstring dir = GetAppState().installRoot + L"\\cwd";
  CreateDirectoryW(dir.c_str(), nullptr);
  ASSERT_TRUE(SetCurrentDirectoryW(dir.c_str()));
  // Written as a text editor of the system's code page would.
  const std::wstring scripts = GetAppState().installRoot + L"\\Lua Ü";
  ASSERT_TRUE(CreateDirectoryW(scripts.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  testing_support::WriteTestFile(dir + L"\\luapath.txt", WideToAnsi(scripts) + "\r\nnot read\r\n");
  LauncherUnderTest launcher;
  Run(launcher, {Worker([](MainWindowView& view) { view.SetReady(); }), Ui([](MainWindowView&) { Login(L"true|p"); })});
  ASSERT_TRUE(WaitFor([&] { return GetFileAttributesW(StartedFile().c_str()) != INVALID_FILE_ATTRIBUTES; }));
  EXPECT_EQ(ReportValue(ReadFileBytes(StartedFile()), "command_line"),
            std::wstring(GetCommandLineW()) + L" --parameters=p --plat_extra= \"--luapath=" + scripts + L"\"");
  EXPECT_EQ(ReportValue(ReadFileBytes(StartedFile()), "working_directory"), GetAppState().clientDir + L"\\bm");
}

// What a stranger may have left as luapath.txt: no argument comes of it.
TEST_F(LoginLaunch, LuaPathFileIsTakenOnlyForALocalDirectoryOutsideDownloads) {
  const std::wstring dir = GetAppState().installRoot + L"\\cwd-lua";
  const std::wstring scripts = GetAppState().installRoot + L"\\lua scripts\\";
  CreateDirectoryW(dir.c_str(), nullptr);
  CreateDirectoryW(scripts.c_str(), nullptr);
  ASSERT_TRUE(SetCurrentDirectoryW(dir.c_str()));
  auto overrideFor = [&](const std::wstring& line) {
    testing_support::WriteTestFile(dir + L"\\luapath.txt", WideToAnsi(line) + "\r\n");
    return ReadLuaPathOverride();
  };
  EXPECT_EQ(overrideFor(scripts), L" \"--luapath=" + scripts + L"\\\"");
  for (const std::wstring& refused :
       {GetAppState().installRoot + L"\\missing", dir + L"\\luapath.txt",
        std::wstring(L"\\\\127.0.0.1\\share\\lua"), std::wstring(L"lua scripts"),
        L"Q:\\" + scripts.substr(3)}) {
    EXPECT_EQ(overrideFor(refused), L"") << WideToAnsi(refused);
  }

  // The same file in the user's Downloads folder (or below it), where a web
  // page can leave it, is not even read.
  tov::CoTaskMemText downloads;
  ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, KF_FLAG_CREATE, nullptr, downloads.put())));
  const std::wstring downloadsDir = downloads.get();
  for (const std::wstring& cwd : {downloadsDir, downloadsDir + L"\\game"}) {
    CreateDirectoryW(cwd.c_str(), nullptr);
    ASSERT_TRUE(SetCurrentDirectoryW(cwd.c_str())) << WideToAnsi(cwd);
    testing_support::WriteTestFile(cwd + L"\\luapath.txt", WideToAnsi(scripts) + "\r\n");
    EXPECT_EQ(ReadLuaPathOverride(), L"") << WideToAnsi(cwd);
    DeleteFileW((cwd + L"\\luapath.txt").c_str());
  }
  RemoveDirectoryW((downloadsDir + L"\\game").c_str());
  EXPECT_EQ(Count("luapath.txt ignored: Downloads folder"), 2u) << NewLog();
}

// The run ends while the worker makes the client ready: the login before or
// after it, and the game start still in flight when the window goes. The
// window object is overwritten as soon as it is destroyed, so a worker or a
// launch that followed it afterwards would crash or hang here.
TEST_F(LoginLaunch, RunsEndingWhileTheWorkerSetsReadyFollowNothingThatIsGone) {
  InstallGame();
  static HWND s_ui = nullptr;
  s_ui = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  SetWindowLongPtrW(s_ui, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RunOnUi));
  auto onUi = [](std::function<void()> call) {
    SendMessageW(s_ui, WM_APP, 0, reinterpret_cast<LPARAM>(&call));
  };
  for (int round = 0; round < 24; ++round) {
    const int order = round % 3;  // 0 login first, 1 ready first, 2 start in flight
    GetAppState().firstInstall = order == 2 ? 1 : 0;
    alignas(CWebDlg) unsigned char storage[sizeof(CWebDlg)];
    MainWindowView& view = *new MainWindowView();
    CWebDlg* dlg = new (storage) CWebDlg(view);
    std::atomic<bool> gone{false}, workerDone{false};
    size_t startsBefore = Count("] LaunchGame Succ\r\n");

    std::thread worker([&] {
      WaitFor([&] { return view.HasContentPanel(); });
      if (order != 1) onUi([] { Login(L"true|p"); });
      // The end of the run races with the ready state and what follows it.
      std::thread ender([&] {
        Sleep(static_cast<DWORD>(round % 4));
        view.Cancel();
      });
      view.SetReady();
      if (order == 1) onUi([] { Login(L"true|p"); });
      for (int i = 0; !gone || i < 5; ++i) {
        view.UpdateProgress(L"", std::to_wstring(i) + L"%", i % 101, 1);
        view.ShowPanelControl(tov::PanelControl::Progress, true);
        view.InitWebBrower(L"http://127.0.0.1:1/");
        view.SetReady();
        view.HideLauncher();
      }
      ender.join();
      workerDone = true;
    });
    UINT_PTR watchdog = SetTimer(nullptr, 0, 30000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); });
    dlg->DoModal();
    KillTimer(nullptr, watchdog);
    dlg->~CWebDlg();
    std::memset(storage, 0xDD, sizeof storage);
    gone = true;
    // The worker may still ask this thread for a page script call.
    ASSERT_TRUE(testing_support::PumpUntil([&] { return workerDone.load(); }, 20000))
        << "worker stuck in round " << round;
    worker.join();
    // Once at most: the end may come before the ready state is reached.
    EXPECT_LE(Count("] LaunchGame Succ\r\n") - startsBefore, 1u) << "round " << round;
    for (HWND game; (game = FindWindowW(kDemoGameClass, nullptr)) != nullptr;) {
      PostMessageW(game, WM_CLOSE, 0, 0);
      Sleep(20);
    }
  }
  DestroyWindow(s_ui);
  EXPECT_GT(Count("] LaunchGame Succ\r\n"), 0u) << "no round reached the start";
  EXPECT_EQ(Count("] LaunchGame Faild"), 0u);
}
