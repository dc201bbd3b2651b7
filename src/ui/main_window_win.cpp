#include "ui/main_window.h"

#include "base/launcher_log.h"
#include "base/unique_handle.h"
#include "provisioning/game_remote_config.h"
#include "resource_ids.h"
#include "telemetry/web_logger.h"
#include "ui/browser_host_win.h"
#include "ui/common_controls_win.h"
#include "ui/drawing_owners_win.h"
#include "ui/png_resource_win.h"
#include "ui/window_picture_win.h"

namespace {

// Posted by WM_INITDIALOG: handled once the window has been shown.
constexpr UINT kShownMessage = WM_APP + 0x2A1;

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

BOOL CWebDlg::OnInitDialog() {
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, ::GetWindowLongW(m_hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);
  PaintLayeredBackground();
  // The picture goes on screen first; the panel (with the browser control,
  // the slowest part to make) and the worker follow once it shows.
  ::PostMessageW(m_hWnd, kShownMessage, 0, 0);
  return TRUE;
}

void CWebDlg::OnShown() {
  // Nothing else of the launcher loads libraries while the panel makes its
  // controls: the close button's image (GDI+) is read here, after them, and
  // the worker and the machine profile start once the panel is there.
  // Under Wine, libraries loaded on another thread while this one made the
  // panel's progress bar hung the process for good, one start in a few
  // hundred on a busy machine.
  WaitForCommonControls();
  // The panel's template names the web control's class.
  CurrentBrowserHost().RegisterWindowClass();
  m_pContentPanel = std::make_unique<CWebCDlg>(this);
  // Not checked: a panel without a window counts as no panel, and the
  // launcher runs on without one.
  m_pContentPanel->Create(m_hWnd);
  if (PanelWindow()) {
    RECT window{};
    ::GetWindowRect(m_hWnd, &window);
    m_pContentPanel->LayOutOver(SIZE{window.right - window.left, window.bottom - window.top});
    ::MoveWindow(PanelWindow(), window.left, window.top, window.right - window.left,
                 window.bottom - window.top, FALSE);
    CDUIButton& close = m_pContentPanel->m_closeButton;
    close.m_rect = RECT{1222, 87, 1252, 117};
    close.m_image = PngResourceLoader::Instance().LoadPngFromResource(IDB_CLOSE_PNG);
    close.m_textRed = 217;
    close.m_textGreen = 151;
    close.m_textBlue = 87;
    m_pContentPanel->m_bShowCloseButton = 1;
    // The main window keeps the activation the panel's creation took from
    // it, as when the panel came before it: activated only at a first click,
    // Wine without a window manager raises it over the panel, close button
    // and all. The panel is then mapped anew, last and so on top.
    ::ShowWindow(PanelWindow(), SW_SHOW);
    ::SetActiveWindow(m_hWnd);
    ::ShowWindow(PanelWindow(), SW_HIDE);
    ::ShowWindow(PanelWindow(), SW_SHOWNA);
  }
  // Nobody waits for the worker: it may outlive the window, so it gets the
  // view, which outlives it, and never this window.
  ProvisioningView* view = &m_view;
  tov::UniqueHandleK worker(::CreateThread(nullptr, 0, &RunProvisioningWorker, view, 0, nullptr));
  // Start-up's reports waited for the window to show.
  GetWebLogger().GatherProfileNow();
}

void CWebDlg::PaintLayeredBackground() {
  SIZE size{};
  tov::UniqueGdiObject background(TakeMainWindowPicture(size));
  // Without a picture the window stays an empty layered window; everything
  // else runs on.
  if (!background) return;
  WindowDc screen(m_hWnd);
  tov::UniqueMemoryDc memory(::CreateCompatibleDC(screen.dc()));
  SelectedObject picture(memory.get(), background.get());
  POINT origin{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ::UpdateLayeredWindow(m_hWnd, screen.dc(), nullptr, &size, memory.get(), &origin, 0, &blend, ULW_ALPHA);
}

bool CWebDlg::PreTranslateMessage(MSG* msg) {
  // Neither key may close the launcher by accident.
  return msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN);
}

HWND CWebDlg::PanelWindow() const {
  return m_pContentPanel ? m_pContentPanel->GetSafeHwnd() : nullptr;
}

INT_PTR CWebDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  switch (msg) {
    case WM_NCHITTEST: {
      // The whole picture drags the window.
      LRESULT hit = ::DefWindowProcW(m_hWnd, msg, wp, lp);
      handled = true;
      return hit == HTCLIENT ? HTCAPTION : hit;
    }
    case WM_PAINT:
      if (!::IsIconic(m_hWnd)) return 0;
      PaintMinimisedIcon(m_hWnd, m_hIcon);
      handled = true;
      return 0;
    case WM_MOVE:
      // The panel lies exactly over the main window wherever it goes.
      if (HWND panel = PanelWindow()) {
        RECT r{};
        ::GetWindowRect(m_hWnd, &r);
        ::MoveWindow(panel, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        ::InvalidateRect(panel, nullptr, FALSE);
      }
      return 0;
    case WM_WINDOWPOSCHANGED: {
      // The panel shows over the picture. Windows keeps an owned window
      // above its owner; Wine without a window manager stacks whichever
      // window was mapped last on top, so the panel is shown anew once the
      // picture is on screen.
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
      HWND panel = PanelWindow();
      if (panel && (pos->flags & SWP_SHOWWINDOW) && ::IsWindowVisible(panel)) {
        ::ShowWindow(panel, SW_HIDE);
        ::ShowWindow(panel, SW_SHOWNA);
      }
      return 0;  // the default handling still sends WM_MOVE
    }
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
    case kShownMessage:
      OnShown();
      handled = true;
      return 0;
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
