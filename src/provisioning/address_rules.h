// Which configured addresses the launcher follows, and how.
#pragma once
#include <string>

namespace tov {

// A configuration served with CR LF line ends keeps the CR in each value;
// where a value is used as an address, one trailing CR is dropped.
std::wstring WithoutTrailingCr(const std::wstring& value);

// Only "http://" and "https://" addresses (scheme in any case) are opened in
// the page or handed to the shell: a file:, javascript: or other local
// scheme would run with the player's full rights.
bool IsWebAddress(const std::wstring& address);

// The schemes a transfer may be redirected to, as libcurl's list of them.
// Behind a base on "https://" (in any case) every hop stays on https: a
// redirect to plain http would hand the rest of the transfer to whoever
// sits on the path. Behind any other base, http and https (a move to https
// loses nothing); no other scheme.
const char* RedirectProtocols(const std::wstring& baseAddress);

}  // namespace tov
