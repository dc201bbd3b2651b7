#include "ui/browser_host_win.h"

namespace {
constexpr const wchar_t* kBrowserClassId = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";
}  // namespace

bool RegisterBrowserHostClass() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kBrowserClassId;
    return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

void NavigateBrowserHost(HWND host, const std::wstring& url) {
  if (host) ::SetWindowTextW(host, url.c_str());
}
