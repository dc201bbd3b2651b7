// The window operations the provisioning worker uses, on the launcher's real
// windows: the content panel over the main window, progress and display
// modes carried out on the window's thread while the caller waits (also
// under a message box), the end of the modal run from either thread, and
// workers that go on after their windows are gone.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "app/launcher_log.h"
#include "provisioning/config_request.h"
#include "provisioning/game_remote_config.h"
#include "resource_ids.h"
#include "ui/main_window.h"

namespace {
wchar_t g_configUrl[128] = L"";
}  // namespace

// Every main window starts a real worker. Here the workers ask a server that
// takes the connection and never answers (well within the launcher's stall
// limit), so they stay out of the way of the calls under test until the
// last test lets them all fail.
const wchar_t* ConfigUrlTemplate() { return g_configUrl; }

namespace {

using tov::PanelControl;

constexpr const wchar_t* kNetworkFailure = L"更新失败,请检查网络";

// Takes connections into its backlog and never accepts them; closing it
// resets them all.
class SilentServer {
 public:
  SilentServer() {
    WSADATA wsa;
    ::WSAStartup(MAKEWORD(2, 2), &wsa);
    m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_socket, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(m_socket, 200);
    int len = sizeof addr;
    ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
  }
  ~SilentServer() { Close(); }
  int Port() const { return m_port; }
  void Close() {
    if (m_socket != INVALID_SOCKET) ::closesocket(m_socket);
    m_socket = INVALID_SOCKET;
  }

 private:
  SOCKET m_socket = INVALID_SOCKET;
  int m_port = 0;
};

std::string ReadAll(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "";
  std::string data;
  char buf[65536];
  DWORD n = 0;
  while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) data.append(buf, n);
  CloseHandle(h);
  return data;
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Sleep(10);
  }
  return true;
}

std::wstring TextOf(HWND hwnd) {
  wchar_t buf[256] = {};
  GetWindowTextW(hwnd, buf, 256);
  return buf;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buf[64] = {};
  GetClassNameW(hwnd, buf, 64);
  return buf;
}

RECT RectOf(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

int ControlId(PanelControl c) {
  switch (c) {
    case PanelControl::Progress:
      return IDC_PROGRESS;
    case PanelControl::StatusText:
      return IDC_STATUS_TEXT;
    case PanelControl::PhaseLabel:
      return IDC_PHASE_LABEL;
    case PanelControl::PercentText:
      return IDC_PERCENT_TEXT;
  }
  return 0;
}

// What a thread other than the window's sees of one panel control.
struct ControlView {
  bool visible;
  std::wstring text;
};

ControlView View(HWND panel, PanelControl c) {
  HWND control = GetDlgItem(panel, ControlId(c));
  return {IsWindowVisible(control) != FALSE, TextOf(control)};
}

int BarPosition(HWND panel) {
  return static_cast<int>(SendMessageW(GetDlgItem(panel, IDC_PROGRESS), PBM_GETPOS, 0, 0));
}

class LauncherWindows : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_server = new SilentServer();
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(s_server->Port()) +
                       L"/api/{ditch_name}/client_config_{ditch_name}.php";
    wcsncpy(g_configUrl, url.c_str(), 127);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    AppState& app = GetAppState();
    app.installRoot = std::wstring(temp) + L"tov-window-ops-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(app.installRoot.c_str(), nullptr);
    app.appName = L"window-ops";
    s_logPath = app.installRoot + L"\\window-ops.log";
  }

  static std::string Log() { return ReadAll(s_logPath); }

  // Runs `dlg` modally on this thread, the user-interface thread, while
  // `driver` acts on it from another thread the way the worker does. The
  // run ends when the driver has cancelled it (or, should the driver get
  // stuck, after 30 s, which fails the test).
  INT_PTR RunWithDriver(CWebDlg& dlg, const std::function<void()>& driver) {
    ++s_dialogs;
    std::atomic<bool> driverDone{false};
    std::thread thread([&] {
      driver();
      driverDone = true;
      dlg.Cancel();
    });
    UINT_PTR watchdog = SetTimer(nullptr, 0, 30000, [](HWND, UINT, UINT_PTR, DWORD) {
      PostQuitMessage(0);
    });
    INT_PTR result = dlg.DoModal();
    KillTimer(nullptr, watchdog);
    // A quit request still queued (the watchdog's) must not end the next run.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    EXPECT_TRUE(WaitFor([&] { return driverDone.load(); })) << "driver stuck";
    thread.join();
    return result;
  }

  static HWND WaitForPanel(CWebDlg& dlg) {
    CWebCDlg* panel = nullptr;
    WaitFor([&] { return (panel = dlg.ContentPanel()) != nullptr; });
    return panel ? panel->GetSafeHwnd() : nullptr;
  }

  static SilentServer* s_server;
  static std::wstring s_logPath;
  static int s_dialogs;
};

SilentServer* LauncherWindows::s_server = nullptr;
std::wstring LauncherWindows::s_logPath;
int LauncherWindows::s_dialogs = 0;

}  // namespace

TEST_F(LauncherWindows, PanelFromItsTemplateLiesOverTheMainWindowAndFollowsIt) {
  CWebDlg dlg;
  RunWithDriver(dlg, [&] {
    HWND panel = WaitForPanel(dlg);
    ASSERT_NE(panel, nullptr);
    HWND main = GetWindow(panel, GW_OWNER);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(TextOf(main), L"TovLauncher");
    EXPECT_EQ(ClassOf(panel), L"#32770");
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(main) != FALSE; }));
    EXPECT_TRUE(IsWindowVisible(panel));
    // Centring the main window moved the panel over it.
    EXPECT_TRUE(SameRect(RectOf(panel), RectOf(main)));

    for (PanelControl c : {PanelControl::Progress, PanelControl::StatusText,
                           PanelControl::PhaseLabel, PanelControl::PercentText}) {
      ASSERT_NE(GetDlgItem(panel, ControlId(c)), nullptr);
      EXPECT_FALSE(View(panel, c).visible) << ControlId(c);
    }
    EXPECT_EQ(View(panel, PanelControl::PhaseLabel).text, L"正在更新......");
    EXPECT_EQ(View(panel, PanelControl::StatusText).text, L"正在更新.....");
    HWND browser = GetDlgItem(panel, IDC_BROWSER);
    EXPECT_EQ(ClassOf(browser), L"{8856F961-340A-11D0-A96B-00C04FD705A2}");
    EXPECT_TRUE(IsWindowVisible(browser));
    PBRANGE range{};
    SendMessageW(GetDlgItem(panel, IDC_PROGRESS), PBM_GETRANGE, FALSE,
                 reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);

    RECT before = RectOf(main);
    SetWindowPos(main, nullptr, before.left + 37, before.top + 21, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(RectOf(panel).left, before.left + 37);
    EXPECT_TRUE(SameRect(RectOf(panel), RectOf(main)));

    ShowWindow(main, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(panel));
    ShowWindow(main, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(panel));
  });
}

namespace {
std::atomic<int> g_pageKeys{0};
WNDPROC g_browserProc = nullptr;

// Stands in for the web page: counts the Enter and Escape presses it gets.
LRESULT CALLBACK CountPageKeys(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_KEYDOWN && (wp == VK_RETURN || wp == VK_ESCAPE)) ++g_pageKeys;
  return CallWindowProcW(g_browserProc, hwnd, msg, wp, lp);
}
}  // namespace

TEST_F(LauncherWindows, EnterAndEscapeReachThePageAndCloseNothing) {
  CWebDlg dlg;
  RunWithDriver(dlg, [&] {
    HWND panel = WaitForPanel(dlg);
    ASSERT_NE(panel, nullptr);
    HWND main = GetWindow(panel, GW_OWNER);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(main) != FALSE; }));
    HWND browser = GetDlgItem(panel, IDC_BROWSER);
    g_pageKeys = 0;
    g_browserProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(browser, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountPageKeys)));
    for (HWND target : {browser, panel, main}) {
      for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
        PostMessageW(target, WM_KEYDOWN, key, 0);
        PostMessageW(target, WM_KEYUP, key, 0);
      }
    }
    // The page's keys arrive through the modal loop; the others go nowhere.
    EXPECT_TRUE(WaitFor([&] { return g_pageKeys == 2; }, 5000)) << g_pageKeys;
    Sleep(300);
    EXPECT_EQ(g_pageKeys, 2);
    EXPECT_NE(dlg.ContentPanel(), nullptr) << "the modal run ended";
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_TRUE(IsWindowVisible(main));
    SetWindowLongPtrW(browser, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_browserProc));
  });
}

TEST_F(LauncherWindows, DisplayModesChangeTheControlsBeforeTheCallReturns) {
  CWebDlg dlg;
  RunWithDriver(dlg, [&] {
    HWND panel = WaitForPanel(dlg);
    ASSERT_NE(panel, nullptr);

    CGameRemoteConfig::ShowProgress(&dlg, L"42%", 42, 1);
    EXPECT_EQ(BarPosition(panel), 42);
    EXPECT_TRUE(View(panel, PanelControl::Progress).visible);
    EXPECT_FALSE(View(panel, PanelControl::StatusText).visible);
    EXPECT_TRUE(View(panel, PanelControl::PhaseLabel).visible);
    EXPECT_EQ(View(panel, PanelControl::PhaseLabel).text, L"正在下载：");
    EXPECT_TRUE(View(panel, PanelControl::PercentText).visible);
    EXPECT_EQ(View(panel, PanelControl::PercentText).text, L"42%");

    CGameRemoteConfig::ShowProgress(&dlg, L"42% later", 42, 1);
    EXPECT_EQ(View(panel, PanelControl::PercentText).text, L"42%");

    CGameRemoteConfig::ShowProgress(&dlg, L"1/4", 25, 0);
    EXPECT_EQ(View(panel, PanelControl::PhaseLabel).text, L"正在解压：");
    EXPECT_EQ(View(panel, PanelControl::PercentText).text, L"1/4");

    CGameRemoteConfig::ShowStatusText(&dlg, L"更新已完成");
    EXPECT_FALSE(View(panel, PanelControl::Progress).visible);
    EXPECT_TRUE(View(panel, PanelControl::StatusText).visible);
    EXPECT_EQ(View(panel, PanelControl::StatusText).text, L"更新已完成");
    EXPECT_FALSE(View(panel, PanelControl::PhaseLabel).visible);
    EXPECT_FALSE(View(panel, PanelControl::PercentText).visible);
    EXPECT_EQ(BarPosition(panel), 0);
    EXPECT_EQ(View(panel, PanelControl::PercentText).text, L"");

    dlg.ShowPanelControl(PanelControl::PercentText, true);
    EXPECT_TRUE(View(panel, PanelControl::PercentText).visible);
  });
}

TEST_F(LauncherWindows, CallsAreServedWhileAMessageBoxIsOpen) {
  CWebDlg dlg;
  // The box opens from inside the modal run, as a box of page script would.
  UINT_PTR opener = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    MessageBoxW(nullptr, L"open", L"window-ops box", MB_OK);
  });
  RunWithDriver(dlg, [&] {
    HWND panel = WaitForPanel(dlg);
    ASSERT_NE(panel, nullptr);
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = FindWindowW(L"#32770", L"window-ops box")) != nullptr; }));

    CGameRemoteConfig::ShowStatusText(&dlg, kNetworkFailure);
    EXPECT_TRUE(View(panel, PanelControl::StatusText).visible);
    EXPECT_EQ(View(panel, PanelControl::StatusText).text, kNetworkFailure);
    EXPECT_TRUE(IsWindow(box)) << "the box closed before the calls were served";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }));
  });
  KillTimer(nullptr, opener);
}

TEST_F(LauncherWindows, CloseAndCancelEndTheRunFromEitherThreadWithTheirOwnLogLines) {
  {
    CWebDlg dlg;
    size_t before = CountOf(Log(), "[INFO][CWebDlg::Close::");
    INT_PTR result = RunWithDriver(dlg, [&] {
      ASSERT_NE(WaitForPanel(dlg), nullptr);
      dlg.Close();
    });
    EXPECT_EQ(result, IDOK);
    std::string log = Log();
    EXPECT_EQ(CountOf(log, "[INFO][CWebDlg::Close::"), before + 1);
    EXPECT_NE(log.find("] Laucher Stop\r\n", log.rfind("[CWebDlg::Close::")), std::string::npos);
  }
  {
    // Cancel on the window's own thread (the login arriving last starts the
    // game there); the driver only waits for the window.
    CWebDlg dlg;
    static CWebDlg* s_target;
    s_target = &dlg;
    size_t before = CountOf(Log(), "[INFO][CWebDlg::Cancel::");
    UINT_PTR canceller = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      s_target->Cancel();
    });
    std::atomic<bool> ended{false};
    INT_PTR result = RunWithDriver(dlg, [&] {
      ASSERT_NE(WaitForPanel(dlg), nullptr);
      EXPECT_TRUE(WaitFor([&] { return dlg.ContentPanel() == nullptr; })) << "not cancelled";
      ended = true;
    });
    KillTimer(nullptr, canceller);
    EXPECT_TRUE(ended);
    EXPECT_EQ(result, IDCANCEL);
    // The driver's own Cancel after the end logs as well; the run had ended.
    EXPECT_GE(CountOf(Log(), "[INFO][CWebDlg::Cancel::"), before + 1);
  }
}

TEST_F(LauncherWindows, ManyRunsEndWhileCallsKeepComing) {
  // Both orders: the run ends from the calling thread between two calls, or
  // from elsewhere in the middle of them; calls go on after the end.
  for (int round = 0; round < 24; ++round) {
    CWebDlg dlg;
    std::atomic<bool> stop{false};
    std::atomic<int> callsAfterEnd{0};
    std::atomic<bool> hammerDone{false};
    std::thread hammer;
    INT_PTR result = RunWithDriver(dlg, [&] {
      if (!WaitForPanel(dlg)) return;
      hammer = std::thread([&] {
        for (int i = 0; !stop || callsAfterEnd < 20; ++i) {
          if (stop) ++callsAfterEnd;
          CGameRemoteConfig::ShowProgress(&dlg, std::to_wstring(i % 101) + L"%", i % 101, i & 1);
          dlg.ShowPanelControl(PanelControl::StatusText, (i & 2) != 0);
          if (round % 2 == 0 && i == 7 + round) dlg.Cancel();
        }
        hammerDone = true;
      });
      Sleep(static_cast<DWORD>(round % 5) * 3);
      if (round % 2 == 1) dlg.Cancel();
      WaitFor([&] { return dlg.ContentPanel() == nullptr; });
    });
    EXPECT_EQ(result, IDCANCEL) << "round " << round;
    stop = true;
    EXPECT_TRUE(WaitFor([&] { return hammerDone.load(); })) << "calls stuck in round " << round;
    if (hammer.joinable()) hammer.join();
  }
}

TEST_F(LauncherWindows, CallsAfterTheWindowIsGoneDoNothing) {
  CWebDlg dlg;
  RunWithDriver(dlg, [&] { ASSERT_NE(WaitForPanel(dlg), nullptr); });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(dlg.ContentPanel(), nullptr);
  CGameRemoteConfig::ShowProgress(&dlg, L"5%", 5, 1);
  CGameRemoteConfig::ShowStatusText(&dlg, kNetworkFailure);
  dlg.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// Last: every worker so far still waits for its configuration. Letting the
// server go makes them fail while their windows and window objects are
// long gone; a new window's worker then fails in front of its user.
TEST_F(LauncherWindows, WorkersFailAfterTheirWindowsAreGoneAndInFrontOfANewOne) {
  size_t workers = static_cast<size_t>(s_dialogs);
  ASSERT_GT(workers, 0u);
  ASSERT_TRUE(WaitFor([&] { return CountOf(Log(), "CGameRemoteConfig::InitRemoteConfig::") >= workers; }))
      << "not every worker asked for its configuration";
  EXPECT_EQ(CountOf(Log(), "/api/webvarn/client_config_webvarn.php"), workers);
  s_server->Close();
  EXPECT_TRUE(WaitFor([&] { return CountOf(Log(), ", httpStatusCode:0]") >= workers; }, 20000))
      << Log();

  CWebDlg dlg;
  RunWithDriver(dlg, [&] {
    HWND panel = WaitForPanel(dlg);
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(WaitFor([&] { return View(panel, PanelControl::StatusText).visible; }));
    EXPECT_EQ(View(panel, PanelControl::StatusText).text, kNetworkFailure);
    EXPECT_FALSE(View(panel, PanelControl::Progress).visible);
    EXPECT_EQ(View(panel, PanelControl::PhaseLabel).text, L"正在解压：");
    EXPECT_EQ(View(panel, PanelControl::PercentText).text, L"0%");
  });
  EXPECT_NE(Log().find("[res:7, httpStatusCode:0]"), std::string::npos);
}
