// Where the login page may go and which page may talk to the launcher. The
// page is a web page like any other: a link, a redirect, an advert or a
// script from another site can move it or load beside it in a frame, and
// whatever is loaded there can reach window.external.
#pragma once
#include <string>
#include <vector>

namespace tov {

// The host of an http or https address, lower case, without user name,
// password or port; empty for any other address. A "\" ends the host as a
// "/" does: the browser reads it so.
std::wstring WebAddressHost(const std::wstring& address);

// Why the page may not be sent to `address`; empty when it may. Only http
// and https addresses are opened (the text then is the new-window refusal's
// own); when `hosts` is not empty, only on one of those hosts (compared
// without regard to case).
std::wstring PageAddressRefusal(const std::wstring& address, const std::vector<std::wstring>& hosts);

// Why a script call is not served; empty when it is. The login and the
// launcher's path are for the page the launcher was sent to, so only while
// the top-level document is on an address the page may be on, and only to
// that document's own script: a frame of another site must not log in.
std::wstring ScriptCallRefusal(const std::wstring& topAddress, bool fromTopDocument,
                               const std::vector<std::wstring>& hosts);

// The hosts a page may be on when the configuration names them: the host of
// the entry address, then the ";"-separated host names of `extraHosts`
// (blanks around them dropped, empty ones skipped).
std::vector<std::wstring> AllowedPageHosts(const std::wstring& entryAddress, const std::wstring& extraHosts);

}  // namespace tov
