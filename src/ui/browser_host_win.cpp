#include "ui/browser_host_win.h"

#include <atomic>

#include "ui/browser_lockdown_win.h"
#include "ui/web_browser_site_win.h"

namespace {

// The window of control 1005 holds the browser control's site; without the
// system's control it stays an empty window, and the launcher runs on.
LRESULT CALLBACK HostProc(HWND host, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  switch (msg) {
    case WM_CREATE:
      ::SetWindowLongPtrW(host, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(CCustomControlSite::Attach(host)));
      return 0;
    case WM_SIZE:
      if (CCustomControlSite* site = BrowserSiteOf(host)) site->Resize();
      return 0;
    case WM_DESTROY:
      if (auto* site = reinterpret_cast<CCustomControlSite*>(::SetWindowLongPtrW(host, GWLP_USERDATA, 0))) {
        site->Detach();
        site->Release();
      }
      return 0;
    default:
      return ::DefWindowProcW(host, msg, wp, lp);
  }
}

class OleBrowserHost final : public BrowserHost {
 public:
  bool RegisterWindowClass() override {
    // Before any control of the class can exist.
    LockDownBrowserEngine();
    static const bool registered = RegisterBrowserClass(&HostProc);
    return registered;
  }
  void Navigate(HWND host, const std::wstring& url) override {
    if (!host) return;
    // The window keeps the address too: where the engine renders nothing,
    // it still tells where the page was sent. It is put again once the
    // control has navigated, which may have changed the window's text.
    ::SetWindowTextW(host, url.c_str());
    if (CCustomControlSite* site = BrowserSiteOf(host)) {
      site->Navigate(url);
      ::SetWindowTextW(host, url.c_str());
    }
  }
};

OleBrowserHost g_launcherHost;
std::atomic<BrowserHost*> g_host{nullptr};

}  // namespace

CCustomControlSite* BrowserSiteOf(HWND host) {
  if (!host) return nullptr;
  wchar_t cls[64] = {};
  if (!::GetClassNameW(host, cls, 64) || std::wstring(cls) != kBrowserClassId) return nullptr;
  if (reinterpret_cast<WNDPROC>(::GetClassLongPtrW(host, GCLP_WNDPROC)) != &HostProc) return nullptr;
  return reinterpret_cast<CCustomControlSite*>(::GetWindowLongPtrW(host, GWLP_USERDATA));
}

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
  return host ? *host : g_launcherHost;
}

void UseBrowserHost(BrowserHost* host) { g_host.store(host); }
