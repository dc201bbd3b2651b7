#include "ui/content_panel.h"

#include <commctrl.h>

#include "base/launcher_log.h"
#include "provisioning/address_rules.h"
#include "resource_ids.h"
#include "ui/browser_host_win.h"
#include "ui/drawing_owners_win.h"
#include "ui/main_window.h"
#include "ui/skin_rules.h"
#include "ui/web_browser_site_win.h"

CWebCDlg::CWebCDlg(CWebDlg* mainWindow)
    : CDialogBase(IDD_CONTENT_PANEL),
      m_pMainWindow(mainWindow),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

// The window goes before the members it may still use.
CWebCDlg::~CWebCDlg() { DestroyWindow(); }

BOOL CWebCDlg::OnInitDialog() {
  m_progress.SubclassDlgItem(IDC_PROGRESS, m_hWnd);
  m_phaseLabel.SubclassDlgItem(IDC_PHASE_LABEL, m_hWnd);
  m_percentText.SubclassDlgItem(IDC_PERCENT_TEXT, m_hWnd);
  m_statusText.SubclassDlgItem(IDC_STATUS_TEXT, m_hWnd);

  m_brush.reset(::CreateSolidBrush(RGB(0, 0, 0)));
  ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, ::GetWindowLongW(m_hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);
  ::SetLayeredWindowAttributes(m_hWnd, RGB(0, 0, 0), 255, LWA_COLORKEY);

  HWND bar = Control(tov::PanelControl::Progress);
  m_progress.m_lower = 0;
  m_progress.m_upper = 100;
  m_progress.m_position = 0;
  ::SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  m_progress.m_showPercent = 0;
  m_progress.m_startColor = RGB(0, 132, 255);
  m_progress.m_endColor = RGB(0, 132, 255);
  m_progress.m_backColor = RGB(105, 105, 105);
  m_progress.SetPos(0);
  LONG_PTR exStyle = ::GetWindowLongPtrW(bar, GWL_EXSTYLE);
  ::SetWindowLongPtrW(bar, GWL_EXSTYLE, exStyle & ~static_cast<LONG_PTR>(WS_EX_STATICEDGE));
  ::InvalidateRect(bar, nullptr, FALSE);
  // The worker shows what it needs; until then only the web page is seen.
  for (tov::PanelControl c : tov::kProvisioningControls) Show(c, false);
  return TRUE;
}

INT_PTR CWebCDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  switch (msg) {
    case WM_PAINT:
      OnPaint();
      handled = true;
      return 0;
    case WM_CTLCOLORDLG:
      // Black is the colour key: the dialog's own background is see-through.
      handled = true;
      return reinterpret_cast<INT_PTR>(m_brush.get());
    case WM_QUERYDRAGICON:
      handled = true;
      return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_LBUTTONUP: {
      const RECT& r = m_closeButton.m_rect;
      if (tov::HitsRect({r.left, r.top, r.right, r.bottom}, static_cast<short>(LOWORD(lp)),
                        static_cast<short>(HIWORD(lp)))) {
        if (m_pMainWindow) m_pMainWindow->Close();
        handled = true;
      }
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDCANCEL) {
        // A close request aimed at the panel (Alt+F4 while the page has the
        // focus) ends the launcher as one on the main window does; ending
        // the panel alone would leave a window without page or close button.
        ::PostQuitMessage(0);
        handled = true;
      }
      return 0;
    default:
      return 0;
  }
}

void CWebCDlg::OnPaint() {
  if (::IsIconic(m_hWnd)) {
    PaintMinimisedIcon(m_hWnd, m_hIcon);
    return;
  }
  PaintScope paint(m_hWnd);
  if (!m_bShowCloseButton) return;
  GdipOwner<GpGraphics> graphics;
  if (gdip::GdipCreateFromHDC(paint.dc(), GdipOut(graphics)) == Gdiplus::Ok) m_closeButton.Draw(graphics.get());
}

bool CWebCDlg::PreTranslateMessage(MSG* msg) {
  // Enter and Escape belong to the web page (a login form submits on Enter),
  // not to the dialog manager's OK and Cancel.
  if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN)) {
    ::TranslateMessage(msg);
    ::DispatchMessageW(msg);
    return true;
  }
  // The page's keys go to the control's in-place object first, as a control
  // container's dialog handling does: that is where Tab, Backspace and
  // copy and paste work inside the page, and where its key filter is asked.
  if (msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) {
    HWND host = ::GetDlgItem(m_hWnd, IDC_BROWSER);
    if (host && (msg->hwnd == host || ::IsChild(host, msg->hwnd))) {
      if (CCustomControlSite* site = BrowserSiteOf(host)) return site->TranslateToControl(msg);
    }
  }
  return false;
}

void CWebCDlg::LayOutOver(SIZE size) {
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  if (client.right <= 0 || client.bottom <= 0 || size.cx <= 0 || size.cy <= 0) return;
  for (int id : {IDC_PROGRESS, IDC_PHASE_LABEL, IDC_PERCENT_TEXT, IDC_STATUS_TEXT, IDC_BROWSER}) {
    HWND control = ::GetDlgItem(m_hWnd, id);
    RECT r{};
    if (!control || !::GetWindowRect(control, &r)) continue;
    ::MapWindowPoints(HWND_DESKTOP, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
    auto x = [&](LONG v) { return static_cast<int>(::MulDiv(v, size.cx, client.right)); };
    auto y = [&](LONG v) { return static_cast<int>(::MulDiv(v, size.cy, client.bottom)); };
    ::MoveWindow(control, x(r.left), y(r.top), x(r.right) - x(r.left), y(r.bottom) - y(r.top), FALSE);
  }
}

void CWebCDlg::InitWebBrower(const std::wstring& url) {
  LOG_INFO(url, "CWebCDlg::InitWebBrower");
  if (!tov::IsWebAddress(url)) {
    LOG_ERROR(L"not a web address, not opened: " + url, "CWebCDlg::InitWebBrower");
    return;
  }
  CurrentBrowserHost().Navigate(::GetDlgItem(m_hWnd, IDC_BROWSER), url);
}

void CWebCDlg::ApplyProgress(const std::wstring& statusText, const std::wstring& percentText,
                             int position, int isDownload) {
  tov::ApplyProgressUpdate(this, m_bDownloadLabelSet, m_bUnzipLabelSet, statusText, percentText,
                           position, isDownload);
  m_panelState.statusText = statusText;
  m_panelState.position = position;
  UpdateTaskbar();
}

void CWebCDlg::ShowControl(tov::PanelControl control, bool visible) {
  Show(control, visible);
  if (control == tov::PanelControl::Progress) m_panelState.progressShown = visible;
  if (control == tov::PanelControl::StatusText) m_panelState.statusShown = visible;
  UpdateTaskbar();
}

void CWebCDlg::SetTransferWaiting(bool waiting) {
  m_panelState.waiting = waiting;
  UpdateTaskbar();
}

void CWebCDlg::UpdateTaskbar() {
  m_taskbar.Show(m_pMainWindow ? m_pMainWindow->GetSafeHwnd() : nullptr, tov::TaskbarFor(m_panelState));
}

HWND CWebCDlg::Control(tov::PanelControl control) const {
  switch (control) {
    case tov::PanelControl::Progress:
      return ::GetDlgItem(m_hWnd, IDC_PROGRESS);
    case tov::PanelControl::StatusText:
      return ::GetDlgItem(m_hWnd, IDC_STATUS_TEXT);
    case tov::PanelControl::PhaseLabel:
      return ::GetDlgItem(m_hWnd, IDC_PHASE_LABEL);
    case tov::PanelControl::PercentText:
      return ::GetDlgItem(m_hWnd, IDC_PERCENT_TEXT);
  }
  return nullptr;
}

int CWebCDlg::Position() {
  return static_cast<int>(::SendMessageW(Control(tov::PanelControl::Progress), PBM_GETPOS, 0, 0));
}

void CWebCDlg::SetPosition(int position) { m_progress.SetPos(position); }

void CWebCDlg::SetText(tov::PanelControl control, const std::wstring& text) {
  ::SetWindowTextW(Control(control), text.c_str());
}

void CWebCDlg::Show(tov::PanelControl control, bool visible) {
  ::ShowWindow(Control(control), visible ? SW_SHOW : SW_HIDE);
}

void PaintMinimisedIcon(HWND window, HICON icon) {
  PaintScope paint(window);
  ::SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.dc()), 0);
  RECT client{};
  ::GetClientRect(window, &client);
  int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(paint.dc(), x, y, icon);
}
