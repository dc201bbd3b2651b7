#include "web/page_guard_win.h"

#include <activscp.h>
#include <mshtml.h>

#include <atomic>
#include <mutex>

#include "base/launcher_log.h"
#include "web/page_rules.h"

namespace {

std::mutex& HostsLock() {
  static auto* lock = new std::mutex();
  return *lock;
}
// Outlives the static destructors: the page may still ask while they run.
std::vector<std::wstring>& Hosts() {
  static auto* hosts = new std::vector<std::wstring>();
  return *hosts;
}

std::vector<std::wstring> CurrentHosts() {
  std::lock_guard<std::mutex> hold(HostsLock());
  return Hosts();
}

std::atomic<ScriptPage*> g_page{nullptr};

tov::ComPtr<IUnknown> Identity(IUnknown* object) {
  tov::ComPtr<IUnknown> identity;
  if (object) object->QueryInterface(IID_IUnknown, identity.put_void());
  return identity;
}

// The window object of the document whose script made the call: the
// browser's engine names it directly, or leads to the script site that
// hosts the calling script, which names it.
tov::ComPtr<IUnknown> CallerWindow(IServiceProvider* caller) {
  tov::ComPtr<IUnknown> window;
  if (!caller) return window;
  if (SUCCEEDED(caller->QueryService(SID_SHTMLWindow, IID_IUnknown, window.put_void())) && window) {
    return window;
  }
  tov::ComPtr<IServiceProvider> site;
  if (SUCCEEDED(caller->QueryService(IID_IActiveScriptSite, IID_IServiceProvider, site.put_void())) && site) {
    site->QueryService(SID_SHTMLWindow, IID_IUnknown, window.put_void());
  }
  return window;
}

}  // namespace

void UseKeyedPageHosts(std::vector<std::wstring> hosts) {
  std::lock_guard<std::mutex> hold(HostsLock());
  Hosts() = std::move(hosts);
}

bool RefusePageNavigation(const std::wstring& address, const char* operation) {
  std::wstring refusal = tov::PageAddressRefusal(address, CurrentHosts());
  if (refusal.empty()) return false;
  LOG_ERROR(refusal, operation);
  return true;
}

void SetScriptPage(ScriptPage* page) { g_page.store(page); }

void ForgetScriptPage(ScriptPage* page) { g_page.compare_exchange_strong(page, nullptr); }

std::wstring ScriptCallerRefusal(IServiceProvider* caller) {
  ScriptPage* page = g_page.load();
  std::wstring top = page ? page->TopAddress() : L"";
  bool fromTop = page && caller && page->IsFromTopDocument(caller);
  return tov::ScriptCallRefusal(top, fromTop, CurrentHosts());
}

bool IsCallFromWindow(IServiceProvider* caller, IUnknown* window) {
  tov::ComPtr<IUnknown> expected = Identity(window);
  tov::ComPtr<IUnknown> actual = Identity(CallerWindow(caller).get());
  return expected && actual && expected.get() == actual.get();
}
