#include "ui/main_window.h"

#include "app/launcher_log.h"
#include "resource_ids.h"

CWebDlg::CWebDlg()
    : CDialogBase(IDD_TOVLAUNCHER_DIALOG),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

BOOL CWebDlg::OnInitDialog() {
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  return TRUE;
}

bool CWebDlg::PreTranslateMessage(MSG* msg) {
  // Neither key may close the launcher by accident.
  return msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN);
}

INT_PTR CWebDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, bool& handled) {
  switch (msg) {
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
