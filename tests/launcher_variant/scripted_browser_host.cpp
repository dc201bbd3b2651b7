// The browser host of TovLauncherTest.exe. Wine renders no HTML, so a page
// cannot log in by itself there; this host stands in for the page instead:
// after each navigation it runs the JScript file named by TOV_PAGE_SCRIPT
// with Wine's script engine, `window.external` being the launcher's own
// script object, exactly as the browser would hand it out. Like the real
// host it keeps the address it was last sent to as its text.
//
// What the browser's engine would tell the launcher's own host, this host
// tells the launcher the same way: a page that sets `location` starts a
// navigation that the launcher may cancel (the page then stays where it
// was), and `frame(address, script)` loads a frame at that address whose
// script calls the launcher from a window of its own.
//
// The test build's entry point puts it in place of the launcher's own host;
// the release executable carries none of this.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/web_app.h"
#include "base/utf8.h"
#include "web/page_guard_win.h"
#include "script_host.h"
#include "scripted_browser_host.h"

namespace {

// Posted by a navigation: the page "loads" once the caller has gone on,
// as a browser's page does.
constexpr UINT kRunPage = WM_APP + 1;

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  DWORD n = ::GetEnvironmentVariableW(name, value, MAX_PATH);
  return n > 0 && n < MAX_PATH ? value : L"";
}

// Script errors go to "<script>.errors", so a test can tell a broken page
// from a launcher that ignored it.
using UniqueFile = std::unique_ptr<FILE, int (*)(FILE*)>;

void ReportError(const std::wstring& scriptPath, const std::wstring& error) {
  UniqueFile out(_wfopen((scriptPath + L".errors").c_str(), L"ab"), &fclose);
  if (out) std::fprintf(out.get(), "%s\n", tov::WideToUtf8(error).c_str());
}

// The script file's text, UTF-8.
std::wstring ReadScript(const std::wstring& path) {
  UniqueFile in(_wfopen(path.c_str(), L"rb"), &fclose);
  std::string bytes;
  char buffer[4096];
  for (size_t n; in && (n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0;) bytes.append(buffer, n);
  int size = ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
  return text;
}

// What the browser's engine asks its host before it loads an address into
// the page or one of its frames.
constexpr const char* kNavigationOp = "CWebCDlg::OnBeforeNavigate2";

std::wstring WindowText(HWND host) {
  wchar_t text[2048] = {};
  ::GetWindowTextW(host, text, 2048);
  return text;
}

// The page and the frames loaded into it, which live as long as it does.
struct Page {
  std::unique_ptr<ScriptHost> top;
  std::vector<std::unique_ptr<ScriptHost>> frames;
};

void RunPage(HWND host) {
  std::wstring path = Environment(L"TOV_PAGE_SCRIPT");
  CImpIDispatch* external = GetWebApp().ScriptObject();
  if (path.empty() || !external) return;
  // The page lives as long as the control: its timers may fire later.
  auto* page = new Page{std::make_unique<ScriptHost>(external), {}};
  delete reinterpret_cast<Page*>(::SetWindowLongPtrW(host, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(page)));
  ScriptHost& top = *page->top;
  auto report = [path](const std::wstring& error) { ReportError(path, error); };
  top.OnError(report);
  top.ServeAsTopPage(WindowText(host));
  top.OnNavigate([host, &top](const std::wstring& address) {
    if (RefusePageNavigation(address, kNavigationOp)) return;
    ::SetWindowTextW(host, address.c_str());
    top.SetAddress(address);
  });
  top.OnFrame([page, external, report](const std::wstring& address, const std::wstring& script) {
    if (RefusePageNavigation(address, kNavigationOp)) return;
    page->frames.push_back(std::make_unique<ScriptHost>(external));
    ScriptHost& frame = *page->frames.back();
    frame.SetAddress(address);
    frame.OnError(report);
    frame.Run(script);
  });
  top.Run(ReadScript(path));
}

LRESULT CALLBACK HostProc(HWND host, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kRunPage) {
    RunPage(host);
    return 0;
  }
  if (msg == WM_NCDESTROY) {
    delete reinterpret_cast<Page*>(::SetWindowLongPtrW(host, GWLP_USERDATA, 0));
  }
  return ::DefWindowProcW(host, msg, wp, lp);
}

class ScriptedHost final : public BrowserHost {
 public:
  bool RegisterWindowClass() override {
    static const bool registered = RegisterBrowserClass(&HostProc);
    return registered;
  }
  void Navigate(HWND host, const std::wstring& url) override {
    if (!host) return;
    ::SetWindowTextW(host, url.c_str());
    ::PostMessageW(host, kRunPage, 0, 0);
  }
};

}  // namespace

BrowserHost& ScriptedBrowserHost() {
  static ScriptedHost host;
  return host;
}
