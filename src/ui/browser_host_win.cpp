#include "ui/browser_host_win.h"

#include <atomic>

namespace {

class PlaceholderHost final : public BrowserHost {
 public:
  bool RegisterWindowClass() override {
    static const bool registered = RegisterBrowserClass(::DefWindowProcW);
    return registered;
  }
  void Navigate(HWND host, const std::wstring& url) override {
    if (host) ::SetWindowTextW(host, url.c_str());
  }
};

PlaceholderHost g_placeholder;
std::atomic<BrowserHost*> g_host{nullptr};

}  // namespace

bool RegisterBrowserClass(WNDPROC windowProc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = windowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kBrowserClassId;
  return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

BrowserHost& CurrentBrowserHost() {
  BrowserHost* host = g_host.load();
  return host ? *host : g_placeholder;
}

void UseBrowserHost(BrowserHost* host) { g_host.store(host); }
