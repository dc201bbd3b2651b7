#include "provisioning/address_rules.h"

#include <cwchar>
#include <cwctype>

namespace tov {

namespace {

bool StartsWithIgnoringCase(const std::wstring& text, const wchar_t* lowerPrefix) {
  const std::wstring prefix(lowerPrefix);
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(text[i])) != static_cast<wint_t>(prefix[i])) return false;
  }
  return true;
}

}  // namespace

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
