#include "ui/main_window.h"

#include "base/launcher_log.h"
#include "base/unique_handle.h"
#include "provisioning/game_remote_config.h"
#include "resource_ids.h"
#include "ui/browser_host_win.h"

namespace {

DWORD WINAPI RunProvisioningWorker(LPVOID view) noexcept {
  return CGameRemoteConfig::InitRemoteConfig(view);
}

}  // namespace

CWebDlg::CWebDlg(MainWindowView& view)
    : CDialogBase(IDD_TOVLAUNCHER_DIALOG),
      m_view(view),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {
  m_view.Bind(this);
  SetScriptCallReceiver(this);
}

// The window (and with it the panel's) goes before the panel object.
CWebDlg::~CWebDlg() {
  SetScriptCallReceiver(nullptr);
  DestroyWindow();
  m_view.Unbind(this);
}

bool CWebDlg::OnCreate() {
  // The panel's template names the web control's class.
  CurrentBrowserHost().RegisterWindowClass();
  m_pContentPanel = std::make_unique<CWebCDlg>(this);
  // Not checked: a panel without a window counts as no panel, and the
  // launcher runs on without one.
  m_pContentPanel->Create(m_hWnd);
  return true;
}

BOOL CWebDlg::OnInitDialog() {
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  if (HWND panel = PanelWindow()) ::ShowWindow(panel, SW_SHOW);
  // Nobody waits for the worker: it may outlive the window, so it gets the
  // view, which outlives it, and never this window.
  ProvisioningView* view = &m_view;
  tov::UniqueHandleK worker(::CreateThread(nullptr, 0, &RunProvisioningWorker, view, 0, nullptr));
  return TRUE;
}

bool CWebDlg::PreTranslateMessage(MSG* msg) {
  // Neither key may close the launcher by accident.
  return msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN);
}

HWND CWebDlg::PanelWindow() const {
  return m_pContentPanel ? m_pContentPanel->GetSafeHwnd() : nullptr;
}

INT_PTR CWebDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, bool& handled) {
  switch (msg) {
    case WM_MOVE:
      // The panel lies exactly over the main window wherever it goes.
      if (HWND panel = PanelWindow()) {
        RECT r{};
        ::GetWindowRect(m_hWnd, &r);
        ::MoveWindow(panel, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        ::InvalidateRect(panel, nullptr, FALSE);
      }
      return 0;
    case WM_SHOWWINDOW:
      if (HWND panel = PanelWindow()) ::ShowWindow(panel, wp ? SW_SHOW : SW_HIDE);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == IDCANCEL) {
        // The system's close command arrives here too; the modal run ends.
        ::PostQuitMessage(0);
        handled = true;
      }
      return 0;
    case WM_QUERYDRAGICON:
      handled = true;
      return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_DESTROY:
      LOG_INFO(L"wnd destory", "CWebApp::OnWndDestroy");
      return 0;
    default:
      return 0;
  }
}

CWebCDlg* CWebDlg::ContentPanel() const { return PanelWindow() ? m_pContentPanel.get() : nullptr; }

void CWebDlg::Close() {
  LOG_INFO(L"Laucher Stop", "CWebDlg::Close");
  CallOnWindowThread([this] { EndDialog(IDOK); });
}

std::wstring CWebDlg::DispatchScriptCall(const std::wstring& method, const std::wstring& params) {
  return PanelWindow() ? m_view.Launch().JavascriptToCPLUSPLUS(method, params) : std::wstring();
}
