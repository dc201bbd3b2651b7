#include "ui/content_panel.h"

#include <commctrl.h>

#include "base/launcher_log.h"
#include "resource_ids.h"
#include "ui/browser_host_win.h"

CWebCDlg::CWebCDlg(CWebDlg* mainWindow)
    : CDialogBase(IDD_CONTENT_PANEL), m_pMainWindow(mainWindow) {}

// The window goes before the members it may still use.
CWebCDlg::~CWebCDlg() { DestroyWindow(); }

BOOL CWebCDlg::OnInitDialog() {
  HWND bar = Control(tov::PanelControl::Progress);
  ::SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  ::SendMessageW(bar, PBM_SETPOS, 0, 0);
  LONG_PTR exStyle = ::GetWindowLongPtrW(bar, GWL_EXSTYLE);
  ::SetWindowLongPtrW(bar, GWL_EXSTYLE, exStyle & ~static_cast<LONG_PTR>(WS_EX_STATICEDGE));
  ::InvalidateRect(bar, nullptr, FALSE);
  // The worker shows what it needs; until then only the web page is seen.
  for (tov::PanelControl c : tov::kProvisioningControls) Show(c, false);
  return TRUE;
}

INT_PTR CWebCDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, bool& handled) {
  if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
    // The system's close command aimed at the panel ends the panel alone.
    EndDialog(IDCANCEL);
    handled = true;
  }
  return 0;
}

bool CWebCDlg::PreTranslateMessage(MSG* msg) {
  // Enter and Escape belong to the web page (a login form submits on Enter),
  // not to the dialog manager's OK and Cancel.
  if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN)) {
    ::TranslateMessage(msg);
    ::DispatchMessageW(msg);
    return true;
  }
  return false;
}

void CWebCDlg::InitWebBrower(const std::wstring& url) {
  LOG_INFO(url, "CWebCDlg::InitWebBrower");
  CurrentBrowserHost().Navigate(::GetDlgItem(m_hWnd, IDC_BROWSER), url);
}

void CWebCDlg::ApplyProgress(const std::wstring& statusText, const std::wstring& percentText,
                             int position, int isDownload) {
  tov::ApplyProgressUpdate(this, m_bDownloadLabelSet, m_bUnzipLabelSet, statusText, percentText,
                           position, isDownload);
}

void CWebCDlg::ShowControl(tov::PanelControl control, bool visible) { Show(control, visible); }

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

void CWebCDlg::SetPosition(int position) {
  ::SendMessageW(Control(tov::PanelControl::Progress), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void CWebCDlg::SetText(tov::PanelControl control, const std::wstring& text) {
  ::SetWindowTextW(Control(control), text.c_str());
}

void CWebCDlg::Show(tov::PanelControl control, bool visible) {
  ::ShowWindow(Control(control), visible ? SW_SHOW : SW_HIDE);
}
