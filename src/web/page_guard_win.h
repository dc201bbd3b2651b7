// What the browser host and the script bridge ask before the page moves or
// its script is served (the rules are in page_rules.h).
#pragma once
#include <windows.h>
#include <servprov.h>

#include <string>
#include <vector>

#include "base/com_ptr.h"

// Seam for the keyed build: the hosts the page may be on, the entry
// address's host and those the signed configuration lists (see
// tov::AllowedPageHosts). Until it is called, or with an empty list, any
// http or https host is allowed.
void UseKeyedPageHosts(std::vector<std::wstring> hosts);

// True when the page may not go to `address`; the refusal is logged as an
// ERROR of `operation` and the caller cancels the navigation.
bool RefusePageNavigation(const std::wstring& address, const char* operation);

// The page as a script call finds it: the host of the browser control says
// where its top-level document is, and whether a call came from that
// document's own script (`caller` is what the script engine passed with
// the call, null when it passed nothing).
class ScriptPage {
 public:
  virtual std::wstring TopAddress() = 0;
  virtual bool IsFromTopDocument(IServiceProvider* caller) = 0;

 protected:
  ~ScriptPage() = default;
};

// Set by the control's host while the control exists; null when none.
void SetScriptPage(ScriptPage* page);
// Clears the page only when it is still `page`.
void ForgetScriptPage(ScriptPage* page);

// Why a call that came through `caller` is not served; empty when it is.
std::wstring ScriptCallerRefusal(IServiceProvider* caller);

// Whether the script engine's `caller` names `window` (a document's window
// object) as the calling document's: the browser's engine answers so.
bool IsCallFromWindow(IServiceProvider* caller, IUnknown* window);
