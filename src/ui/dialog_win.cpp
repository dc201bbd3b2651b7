#include "ui/dialog_win.h"

#include <string>
#include <utility>

#include "ui/window_calls_win.h"

namespace {

// The dialog whose window the next dialog creation on this thread makes.
thread_local CDialogBase* t_attaching = nullptr;

// Window creation as the dialog manager does it: the dialog procedure is set
// only after the window exists, so WM_CREATE never reaches it. While a
// dialog is created, a creation hook binds the object to its window as soon
// as the window exists and routes WM_CREATE to it.
class CreationScope {
 public:
  CreationScope(CDialogBase* dialog, HOOKPROC hook)
      : m_outer(std::exchange(t_attaching, dialog)),
        m_hook(::SetWindowsHookExW(WH_CBT, hook, nullptr, ::GetCurrentThreadId())) {}
  ~CreationScope() {
    if (m_hook) ::UnhookWindowsHookEx(m_hook);
    t_attaching = m_outer;
  }
  CreationScope(const CreationScope&) = delete;
  CreationScope& operator=(const CreationScope&) = delete;

 private:
  CDialogBase* m_outer;
  HHOOK m_hook;
};

bool IsDialogWindow(HWND hwnd) {
  wchar_t cls[16] = {};
  return ::GetClassNameW(hwnd, cls, 16) && std::wstring(cls) == L"#32770";
}

}  // namespace

CDialogBase::~CDialogBase() {
  DestroyWindow();
  tov::ForgetWindow(this);
}

HWND CDialogBase::CreateFromTemplate(HWND owner) {
  CreationScope scope(this, &CDialogBase::CreationHook);
  return ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), owner,
                              &CDialogBase::DialogProc, 0);
}

LRESULT CALLBACK CDialogBase::CreationHook(int code, WPARAM wp, LPARAM lp) noexcept {
  HWND hwnd = reinterpret_cast<HWND>(wp);
  // The dialog's own window comes before its controls; anything else the
  // system creates on the way (an input method window) is not a dialog.
  if (code == HCBT_CREATEWND && t_attaching && IsDialogWindow(hwnd)) {
    try {
      std::exchange(t_attaching, nullptr)->Attach(hwnd);
    } catch (...) {
      return 1;  // the window is not made: its object could not be bound
    }
  }
  return ::CallNextHookEx(nullptr, code, wp, lp);
}

void CDialogBase::Attach(HWND hwnd) {
  m_hWnd = hwnd;
  ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
  tov::RememberWindow(this, hwnd);
  m_pfnCreationNext = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
      hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CDialogBase::CreationProc)));
}

LRESULT CALLBACK CDialogBase::CreationProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  CDialogBase* self = FromHandle(hwnd);
  WNDPROC next = self ? self->m_pfnCreationNext : ::DefDlgProcW;
  if (msg != WM_CREATE || !self) return ::CallWindowProcW(next, hwnd, msg, wp, lp);
  // The detour is needed for this one message only.
  ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(next));
  bool created = false;
  try {
    created = self->OnCreate();
  } catch (...) {
  }
  if (!created) return -1;
  return ::CallWindowProcW(next, hwnd, msg, wp, lp);
}

CDialogBase* CDialogBase::FromHandle(HWND hwnd) {
  if (!hwnd) return nullptr;
  return reinterpret_cast<CDialogBase*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
}

BOOL CDialogBase::Create(HWND owner) { return CreateFromTemplate(owner) != nullptr; }

INT_PTR CDialogBase::DoModal(HWND owner) {
  m_modalEnded = false;
  m_modalResult = IDCANCEL;
  m_centreWhenMade = true;
  HWND made = CreateFromTemplate(owner);
  m_centreWhenMade = false;
  if (!made) return -1;
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
    HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    CDialogBase* target = root && ::GetWindowLongPtrW(root, DWLP_DLGPROC) ==
                                      reinterpret_cast<LONG_PTR>(&CDialogBase::DialogProc)
                              ? FromHandle(root)
                              : nullptr;
    if (target && target != this && target->PreTranslateMessage(&msg)) continue;
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
  // The first end of a run decides its result: a launch that cancels right
  // after the player closed the window must not turn that close around.
  if (!m_modalEnded) {
    m_modalResult = result;
    m_modalEnded = true;
  }
  if (m_hWnd) {
    ::ShowWindow(m_hWnd, SW_HIDE);
    // Wakes the modal loop, which may be waiting for a message.
    ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
  }
}

void CDialogBase::DestroyWindow() {
  if (m_hWnd) ::DestroyWindow(m_hWnd);
}

bool CDialogBase::CallOnWindowThread(const std::function<void()>& call) const {
  return tov::CallOnWindowThread(this, call);
}

INT_PTR CDialogBase::OnMessage(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (tov::ServeWindowCall(msg, lp)) return TRUE;
  CDialogBase* self = FromHandle(hwnd);
  if (!self) return FALSE;

  bool handled = false;
  INT_PTR result = 0;
  try {
    if (msg == WM_INITDIALOG) {
      // Before the dialog manager shows a template marked visible.
      BOOL focus = self->OnInitDialog();
      if (self->m_centreWhenMade) self->CenterInWorkArea();
      return focus;
    }
    result = self->OnMessage(msg, wp, lp, handled);
  } catch (...) {
    handled = false;
  }
  if (msg == WM_NCDESTROY) {
    tov::ForgetWindow(self);
    ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    self->m_hWnd = nullptr;
    self->OnDestroyed();
    return FALSE;
  }
  if (!handled) return FALSE;
  switch (msg) {
    // These few answer through the procedure's own result, not the message
    // result (a brush, an icon, an item index).
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
      return result;
    default:
      ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
      return TRUE;
  }
}
