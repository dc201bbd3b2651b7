#include "provisioning/address_rules.h"

#include <cwchar>

#include "base/path_rules.h"

namespace tov {

std::wstring WithoutTrailingCr(const std::wstring& value) {
  if (!value.empty() && value.back() == L'\r') return value.substr(0, value.size() - 1);
  return value;
}

bool IsWebAddress(const std::wstring& address) {
  for (const wchar_t* scheme : {L"http://", L"https://"}) {
    if (address.size() > std::wcslen(scheme) && StartsWithIgnoringCase(address, scheme)) return true;
  }
  return false;
}

const char* RedirectProtocols(const std::wstring& baseAddress) {
  return StartsWithIgnoringCase(baseAddress, L"https://") ? "https" : "http,https";
}

}  // namespace tov
