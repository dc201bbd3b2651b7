#include "web/page_rules.h"

#include <cwctype>

#include "provisioning/address_rules.h"

namespace tov {

namespace {

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

std::wstring Trimmed(const std::wstring& text) {
  size_t begin = text.find_first_not_of(L" \t\r\n");
  if (begin == std::wstring::npos) return L"";
  size_t end = text.find_last_not_of(L" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

}  // namespace

std::wstring WebAddressHost(const std::wstring& address) {
  if (!IsWebAddress(address)) return L"";
  size_t start = address.find(L"://") + 3;
  size_t end = address.find_first_of(L"/\\?#", start);
  std::wstring authority = address.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
  // "http://entry.example@elsewhere/" goes to elsewhere.
  size_t at = authority.rfind(L'@');
  if (at != std::wstring::npos) authority.erase(0, at + 1);
  if (!authority.empty() && authority[0] == L'[') {
    size_t close = authority.find(L']');
    return close == std::wstring::npos ? L"" : Lower(authority.substr(0, close + 1));
  }
  size_t colon = authority.find(L':');
  if (colon != std::wstring::npos) authority.erase(colon);
  // A trailing dot names the same host.
  while (!authority.empty() && authority.back() == L'.') authority.pop_back();
  return Lower(authority);
}

std::wstring PageAddressRefusal(const std::wstring& address, const std::vector<std::wstring>& hosts) {
  if (!IsWebAddress(address)) return L"not a web address, not opened: " + address;
  if (hosts.empty()) return L"";
  std::wstring host = WebAddressHost(address);
  for (const std::wstring& allowed : hosts) {
    if (!host.empty() && Lower(allowed) == host) return L"";
  }
  return L"host not allowed, not opened: " + address;
}

std::wstring ScriptCallRefusal(const std::wstring& topAddress, bool fromTopDocument,
                               const std::vector<std::wstring>& hosts) {
  if (!PageAddressRefusal(topAddress, hosts).empty()) {
    return L"script call refused, the page is not on an allowed address: " + topAddress;
  }
  if (!fromTopDocument) return L"script call refused, not from the page itself: " + topAddress;
  return L"";
}

std::vector<std::wstring> AllowedPageHosts(const std::wstring& entryAddress, const std::wstring& extraHosts) {
  std::vector<std::wstring> hosts;
  std::wstring entry = WebAddressHost(WithoutTrailingCr(entryAddress));
  if (!entry.empty()) hosts.push_back(entry);
  size_t pos = 0;
  while (pos <= extraHosts.size()) {
    size_t end = extraHosts.find(L';', pos);
    if (end == std::wstring::npos) end = extraHosts.size();
    std::wstring host = Lower(Trimmed(extraHosts.substr(pos, end - pos)));
    if (!host.empty()) hosts.push_back(host);
    pos = end + 1;
  }
  return hosts;
}

}  // namespace tov
