#include "ui/dialog_win.h"

namespace {
// The dialog being created on this thread: messages that arrive before
// WM_INITDIALOG (WM_CREATE among them) find their object through it.
thread_local CDialogBase* t_creating = nullptr;
}  // namespace

CDialogBase::~CDialogBase() { DestroyWindow(); }

HWND CDialogBase::CreateFromTemplate(HWND owner) {
  t_creating = this;
  HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId),
                                   owner, &CDialogBase::DialogProc,
                                   reinterpret_cast<LPARAM>(this));
  t_creating = nullptr;
  return hwnd;
}

BOOL CDialogBase::Create(HWND owner) { return CreateFromTemplate(owner) != nullptr; }

INT_PTR CDialogBase::DoModal(HWND owner) {
  m_modalEnded = false;
  m_modalResult = IDCANCEL;
  if (!CreateFromTemplate(owner)) return -1;
  CenterInWorkArea();
  ::ShowWindow(m_hWnd, SW_SHOW);
  MSG msg;
  while (!m_modalEnded) {
    BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // A quit request ends the modal run; it is the process's last loop.
      m_modalResult = IDCANCEL;
      break;
    }
    if (got < 0) break;
    if (PreTranslateMessage(&msg)) continue;
    if (RouteThroughDialogs(&msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  DestroyWindow();
  return m_modalResult;
}

void CDialogBase::CenterInWorkArea() {
  RECT r{};
  ::GetWindowRect(m_hWnd, &r);
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (!::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTOPRIMARY), &mi)) return;
  const RECT& area = mi.rcWork;
  int w = r.right - r.left, h = r.bottom - r.top;
  int x = area.left + ((area.right - area.left) - w) / 2;
  int y = area.top + ((area.bottom - area.top) - h) / 2;
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CDialogBase::RouteThroughDialogs(MSG* msg) {
  // Keyboard navigation for whichever top-level dialog the message is for.
  HWND top = ::GetAncestor(msg->hwnd, GA_ROOT);
  return top && ::IsDialogMessageW(top, msg);
}

bool CDialogBase::PreTranslateMessage(MSG*) { return false; }

void CDialogBase::EndDialog(INT_PTR result) {
  m_modalResult = result;
  m_modalEnded = true;
  // Wakes the modal loop when called from inside a handler.
  if (m_hWnd) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

void CDialogBase::DestroyWindow() {
  if (m_hWnd) ::DestroyWindow(m_hWnd);
}

INT_PTR CDialogBase::OnMessage(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<CDialogBase*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  if (!self && t_creating) {
    self = t_creating;
    self->m_hWnd = hwnd;
    ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
  }
  if (!self) return FALSE;

  if (msg == WM_INITDIALOG) return self->OnInitDialog();

  bool handled = false;
  INT_PTR result = self->OnMessage(msg, wp, lp, handled);
  if (msg == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    self->m_hWnd = nullptr;
    self->OnDestroyed();
    return FALSE;
  }
  if (handled) {
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  }
  return FALSE;
}
