#include "provisioning/address_rules.h"

#include <cwctype>

namespace tov {

std::wstring WithoutTrailingCr(const std::wstring& value) {
  if (!value.empty() && value.back() == L'\r') return value.substr(0, value.size() - 1);
  return value;
}

bool IsWebAddress(const std::wstring& address) {
  for (const wchar_t* scheme : {L"http://", L"https://"}) {
    std::wstring prefix(scheme);
    if (address.size() <= prefix.size()) continue;
    bool same = true;
    for (size_t i = 0; i < prefix.size() && same; ++i) {
      same = std::towlower(static_cast<wint_t>(address[i])) == static_cast<wint_t>(prefix[i]);
    }
    if (same) return true;
  }
  return false;
}

}  // namespace tov
