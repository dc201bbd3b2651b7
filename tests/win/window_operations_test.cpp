// The window operations the provisioning worker uses, on the launcher's real
// windows: the panel over the main window, changes carried out on the
// window's thread while the caller waits (also under a message box), the end
// of the modal run from either thread, and workers outliving their windows.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "base/app_state.h"
#include "base/launcher_settings.h"
#include "base/utf8.h"
#include "launcher_under_test.h"
#include "loopback_http_server.h"
#include "provisioning/game_remote_config.h"
#include "provisioning/provisioning_settings.h"
#include "resource_ids.h"
#include "test_support.h"

namespace {

using testing_support::WaitFor;
using tov::PanelControl;
constexpr const wchar_t* kNetworkFailure = L"更新失败,请检查网络";

// Takes connections into its backlog and never accepts them; closing it
// resets them all.
class SilentServer {
 public:
  SilentServer() : m_socket(testing_support::ListenOnLoopback(200, &m_port)) {}
  int Port() const { return m_port; }
  void Close() { ::closesocket(m_socket); }

 private:
  int m_port = 0;  // set before the socket, which names it
  SOCKET m_socket;
};

std::wstring TextOf(HWND hwnd) {
  wchar_t buf[256] = {};
  GetWindowTextW(hwnd, buf, 256);
  return buf;
}

bool SameRect(HWND a, HWND b) {
  RECT ra{}, rb{};
  GetWindowRect(a, &ra);
  GetWindowRect(b, &rb);
  return EqualRect(&ra, &rb) != FALSE;
}

// What another thread sees of one provisioning control: visible, and text.
std::pair<bool, std::wstring> View(HWND panel, PanelControl c) {
  static const int ids[] = {IDC_PROGRESS, IDC_STATUS_TEXT, IDC_PHASE_LABEL, IDC_PERCENT_TEXT};
  HWND control = GetDlgItem(panel, ids[static_cast<int>(c)]);
  return {IsWindowVisible(control) != FALSE, TextOf(control)};
}

class LauncherWindows : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_server = new SilentServer();
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(s_server->Port()) +
                       L"/api/{ditch_name}/client_config_{ditch_name}.php";
    // Every main window starts a real worker. Here it asks a server that
    // takes the connection and never answers (well within the stall limit),
    // so the workers keep out of the calls under test until the last test
    // lets them all fail.
    ProvisioningSettings settings = LauncherProvisioningSettings();
    settings.configUrlTemplate = url;
    UseProvisioningSettings(settings);
    AppState& app = GetAppState();
    app.installRoot = testing_support::TempPath(L"tov-window-ops-" + std::to_wstring(GetCurrentProcessId()));
    CreateDirectoryW(app.installRoot.c_str(), nullptr);
    app.appName = L"window-ops";
  }

  static std::string Log() {
    return testing_support::ReadFileBytes(GetAppState().installRoot + L"\\window-ops.log");
  }

  static size_t CountInLog(const std::string& what) {
    std::string log = Log();
    size_t count = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++count;
    return count;
  }

  // Runs `dlg` modally on this thread while `driver` acts on it from another
  // thread as the worker does, then cancels the run. A run still going after
  // 30 s is ended, and the test fails.
  static INT_PTR RunWithDriver(LauncherUnderTest& launcher, const std::function<void()>& driver) {
    CWebDlg& dlg = launcher.dlg;
    ++s_dialogs;
    std::atomic<bool> driverDone{false};
    std::thread thread([&] {
      driver();
      driverDone = true;
      launcher.view.Cancel();
    });
    UINT_PTR watchdog = SetTimer(nullptr, 0, 30000, [](HWND, UINT, UINT_PTR, DWORD) {
      PostQuitMessage(0);
    });
    INT_PTR result = dlg.DoModal();
    KillTimer(nullptr, watchdog);
    EXPECT_TRUE(WaitFor([&] { return driverDone.load(); })) << "driver stuck";
    thread.join();
    return result;
  }

  static HWND WaitForPanel(LauncherUnderTest& launcher) {
    HWND panel = nullptr;
    WaitFor([&] { return (panel = launcher.PanelWindow()) != nullptr; });
    return panel;
  }

  static inline SilentServer* s_server = nullptr;
  static inline int s_dialogs = 0;
};

std::atomic<int> g_pageKeys{0};
WNDPROC g_browserProc = nullptr;

// Stands in for the web page: counts the Enter and Escape presses it gets.
LRESULT CALLBACK CountPageKeys(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_KEYDOWN && (wp == VK_RETURN || wp == VK_ESCAPE)) ++g_pageKeys;
  return CallWindowProcW(g_browserProc, hwnd, msg, wp, lp);
}

// Where the main window was when it first showed, seen from its own thread.
RECT g_rectWhenShown{};

LRESULT CALLBACK RecordFirstShow(int code, WPARAM wp, LPARAM lp) {
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lp);
  if (code == HC_ACTION && call->message == WM_SHOWWINDOW && call->wParam && IsRectEmpty(&g_rectWhenShown) &&
      TextOf(call->hwnd) == L"TovLauncher") {
    GetWindowRect(call->hwnd, &g_rectWhenShown);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

TEST_F(LauncherWindows, MainWindowShowsCentredAndItsPanelLiesOverItFollowsItAndGetsTheKeysOfThePage) {
  LauncherUnderTest launcher;
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &RecordFirstShow, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  RunWithDriver(launcher, [&] {
    HWND panel = WaitForPanel(launcher);
    ASSERT_NE(panel, nullptr);
    HWND main = GetWindow(panel, GW_OWNER);
    ASSERT_EQ(TextOf(main), L"TovLauncher");
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(main) != FALSE; }));
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_TRUE(SameRect(panel, main)) << "not placed when the main window was centred";
    for (PanelControl c : {PanelControl::Progress, PanelControl::StatusText,
                           PanelControl::PhaseLabel, PanelControl::PercentText}) {
      EXPECT_FALSE(View(panel, c).first);
    }

    RECT r{};
    GetWindowRect(main, &r);
    SetWindowPos(main, nullptr, r.left + 37, r.top + 21, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_TRUE(SameRect(panel, main));
    ShowWindow(main, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(panel));
    ShowWindow(main, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(panel));

    // Enter and Escape go to the page, and close neither window.
    HWND browser = GetDlgItem(panel, IDC_BROWSER);
    g_browserProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(browser, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountPageKeys)));
    for (HWND target : {browser, panel, main}) {
      for (WPARAM key : {VK_ESCAPE, VK_RETURN}) PostMessageW(target, WM_KEYDOWN, key, 0);
    }
    EXPECT_TRUE(WaitFor([&] { return g_pageKeys == 2; }, 5000)) << g_pageKeys;
    Sleep(300);
    EXPECT_EQ(g_pageKeys, 2);
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_TRUE(launcher.view.HasContentPanel()) << "the modal run ended";
    SetWindowLongPtrW(browser, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_browserProc));
  });
  UnhookWindowsHookEx(hook);

  // Already in the middle of the work area, at its full size, when it showed.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromRect(&g_rectWhenShown, MONITOR_DEFAULTTOPRIMARY), &monitor));
  const RECT& area = monitor.rcWork;
  const RECT& shown = g_rectWhenShown;
  EXPECT_EQ(shown.right - shown.left, 1280);
  EXPECT_EQ(shown.bottom - shown.top, 714);
  EXPECT_EQ(shown.left, area.left + (area.right - area.left - 1280) / 2);
  EXPECT_EQ(shown.top, area.top + (area.bottom - area.top - 714) / 2);
}

TEST_F(LauncherWindows, DisplayModesHaveChangedTheControlsWhenTheCallReturns) {
  LauncherUnderTest launcher;
  RunWithDriver(launcher, [&] {
    HWND panel = WaitForPanel(launcher);
    ASSERT_NE(panel, nullptr);
    CGameRemoteConfig::ShowProgress(&launcher.view, L"42%", 42, 1);
    EXPECT_EQ(SendMessageW(GetDlgItem(panel, IDC_PROGRESS), PBM_GETPOS, 0, 0), 42);
    EXPECT_TRUE(View(panel, PanelControl::Progress).first);
    EXPECT_FALSE(View(panel, PanelControl::StatusText).first);
    EXPECT_EQ(View(panel, PanelControl::PhaseLabel), std::make_pair(true, std::wstring(L"正在下载：")));
    EXPECT_EQ(View(panel, PanelControl::PercentText), std::make_pair(true, std::wstring(L"42%")));

    CGameRemoteConfig::ShowStatusText(&launcher.view, L"更新已完成");
    EXPECT_FALSE(View(panel, PanelControl::Progress).first);
    EXPECT_EQ(View(panel, PanelControl::StatusText), std::make_pair(true, std::wstring(L"更新已完成")));
    EXPECT_EQ(View(panel, PanelControl::PhaseLabel), std::make_pair(false, std::wstring(L"正在解压：")));
    EXPECT_FALSE(View(panel, PanelControl::PercentText).first);
  });
}

TEST_F(LauncherWindows, CallsAreServedWhileAMessageBoxIsOpen) {
  LauncherUnderTest launcher;
  // The box opens inside the modal run, as a box of page script would.
  UINT_PTR opener = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    MessageBoxW(nullptr, L"open", L"window-ops box", MB_OK);
  });
  RunWithDriver(launcher, [&] {
    HWND panel = WaitForPanel(launcher);
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = FindWindowW(L"#32770", L"window-ops box")) != nullptr; }));
    CGameRemoteConfig::ShowStatusText(&launcher.view, kNetworkFailure);
    EXPECT_EQ(View(panel, PanelControl::StatusText), std::make_pair(true, std::wstring(kNetworkFailure)));
    EXPECT_TRUE(IsWindow(box));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  KillTimer(nullptr, opener);
}

TEST_F(LauncherWindows, CloseAndCancelEndTheRunFromEitherThread) {
  LauncherUnderTest closed;
  size_t closes = CountInLog("[INFO][CWebDlg::Close::");
  EXPECT_EQ(RunWithDriver(closed, [&] {
              WaitForPanel(closed);
              closed.dlg.Close();
            }),
            IDOK);
  EXPECT_EQ(CountInLog("[INFO][CWebDlg::Close::"), closes + 1);
  EXPECT_NE(Log().find("] Laucher Stop\r\n", Log().rfind("[CWebDlg::Close::")), std::string::npos);

  // On the window's own thread, as when the login comes last.
  LauncherUnderTest cancelled;
  static MainWindowView* s_target;
  s_target = &cancelled.view;
  SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    s_target->Cancel();
  });
  EXPECT_EQ(RunWithDriver(cancelled, [&] {
              EXPECT_TRUE(WaitFor([&] { return s_dialogs && !cancelled.view.HasContentPanel(); }));
            }),
            IDCANCEL);
}

TEST_F(LauncherWindows, RunsEndWhileCallsKeepComingAndLaterCallsDoNothing) {
  // Both orders: the run ends from the calling thread between its calls, or
  // from another thread in the middle of them; the calls go on after it.
  for (int round = 0; round < 24; ++round) {
    LauncherUnderTest launcher;
    std::atomic<bool> ended{false};
    std::atomic<bool> hammerDone{false};
    std::thread hammer;
    INT_PTR result = RunWithDriver(launcher, [&] {
      if (!WaitForPanel(launcher)) return;
      hammer = std::thread([&] {
        for (int i = 0, after = 0; after < 20; ++i) {
          if (ended) ++after;
          CGameRemoteConfig::ShowProgress(&launcher.view, std::to_wstring(i % 101) + L"%", i % 101, i & 1);
          launcher.view.ShowPanelControl(PanelControl::StatusText, (i & 2) != 0);
          if (round % 2 == 0 && i == 7 + round) launcher.view.Cancel();
        }
        hammerDone = true;
      });
      Sleep(static_cast<DWORD>(round % 5) * 3);
      if (round % 2 == 1) launcher.view.Cancel();
      WaitFor([&] { return !launcher.view.HasContentPanel(); });
    });
    EXPECT_EQ(result, IDCANCEL) << "round " << round;
    ended = true;
    EXPECT_TRUE(WaitFor([&] { return hammerDone.load(); })) << "calls stuck in round " << round;
    if (hammer.joinable()) hammer.join();
  }
}

// The configuration path each worker asks for: the template above with the
// build's channel in it.
std::string ConfiguredPath() {
  const std::string channel = tov::WideToUtf8(LauncherSettings::ChannelName);
  return "/api/" + channel + "/client_config_" + channel + ".php";
}

// Last: every worker so far still waits for its configuration. Letting the
// server go makes them fail long after their windows and window objects are
// gone; a new window's worker then fails in front of its user.
TEST_F(LauncherWindows, WorkersFailAfterTheirWindowsAreGoneAndInFrontOfANewOne) {
  size_t workers = static_cast<size_t>(s_dialogs);
  ASSERT_TRUE(WaitFor([&] { return CountInLog(ConfiguredPath()) == workers; }));
  s_server->Close();
  EXPECT_TRUE(WaitFor([&] { return CountInLog(", httpStatusCode:0]") == workers; }, 20000)) << Log();

  LauncherUnderTest launcher;
  RunWithDriver(launcher, [&] {
    HWND panel = WaitForPanel(launcher);
    EXPECT_TRUE(WaitFor([&] { return View(panel, PanelControl::StatusText).first; }));
    EXPECT_EQ(View(panel, PanelControl::StatusText).second, kNetworkFailure);
    EXPECT_FALSE(View(panel, PanelControl::Progress).first);
  });
  EXPECT_NE(Log().find("[res:7, httpStatusCode:0]"), std::string::npos);
}
