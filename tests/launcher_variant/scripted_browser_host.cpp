// The browser host of TovLauncherTest.exe. Wine renders no HTML, so a page
// cannot log in by itself there; this host stands in for the page instead:
// after each navigation it runs the JScript file named by TOV_PAGE_SCRIPT
// with Wine's script engine, `window.external` being the launcher's own
// script object, exactly as the browser would hand it out. Like the real
// host it keeps the address it was last sent to as its text.
//
// The test build's entry point puts it in place of the launcher's own host;
// the release executable carries none of this.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/web_app.h"
#include "base/utf8.h"
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

void RunPage(HWND host) {
  std::wstring path = Environment(L"TOV_PAGE_SCRIPT");
  CImpIDispatch* external = GetWebApp().ScriptObject();
  if (path.empty() || !external) return;
  // The page lives as long as the control: its timers may fire later.
  auto* page = new ScriptHost(external);
  delete reinterpret_cast<ScriptHost*>(::SetWindowLongPtrW(host, GWLP_USERDATA,
                                                           reinterpret_cast<LONG_PTR>(page)));
  page->OnError([path](const std::wstring& error) { ReportError(path, error); });
  wchar_t address[2048] = {};
  ::GetWindowTextW(host, address, 2048);
  page->ServeAsTopPage(address);
  page->Run(ReadScript(path));
}

LRESULT CALLBACK HostProc(HWND host, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kRunPage) {
    RunPage(host);
    return 0;
  }
  if (msg == WM_NCDESTROY) {
    delete reinterpret_cast<ScriptHost*>(::SetWindowLongPtrW(host, GWLP_USERDATA, 0));
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
