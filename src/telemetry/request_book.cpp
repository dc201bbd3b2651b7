#include "telemetry/request_book.h"

#include "base/path_rules.h"

namespace tov {

const wchar_t* VerbText(int verbCode) {
  switch (verbCode) {
    case 1:
    case 2: return L"POST";
    case 3: return L"DELETE";
    default: return L"GET";
  }
}

std::wstring ComposeRequestHeaders(const std::wstring& extraHeaders, int rangeStart) {
  std::wstring headers = extraHeaders;
  if (rangeStart != 0) headers += L"Range: bytes=" + std::to_wstring(rangeStart) + L"-\r\n";
  return headers;
}

uint32_t EffectiveOpenFlags(uint32_t openFlags, int scheme) {
  return scheme == kSchemeHttps ? (openFlags | kSecureFlag) : openFlags;
}

namespace {
// 1 to 65535 in decimal; anything else is not a port.
bool ParsePort(const std::wstring& text, uint16_t* port) {
  if (text.empty() || text.size() > 5) return false;
  uint32_t value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + static_cast<uint32_t>(c - L'0');
  }
  if (value == 0 || value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}
}  // namespace

RequestTarget ParseRequestUrl(const std::wstring& url) {
  RequestTarget target;
  size_t rest;
  if (StartsWithIgnoringCase(url, L"https://")) {
    target.scheme = kSchemeHttps;
    target.port = 443;
    rest = 8;
  } else if (StartsWithIgnoringCase(url, L"http://")) {
    target.scheme = kSchemeHttp;
    target.port = 80;
    rest = 7;
  } else {
    return RequestTarget{};
  }
  size_t pathAt = url.find_first_of(L"/?#", rest);
  std::wstring authority = url.substr(rest, pathAt == std::wstring::npos ? std::wstring::npos : pathAt - rest);
  target.objectName = pathAt == std::wstring::npos ? L"" : url.substr(pathAt);
  if (target.objectName.empty() || target.objectName[0] != L'/') target.objectName.insert(0, L"/");

  size_t at = authority.rfind(L'@');
  if (at != std::wstring::npos) authority.erase(0, at + 1);
  size_t colon = std::wstring::npos;
  if (!authority.empty() && authority[0] == L'[') {
    size_t close = authority.find(L']');
    if (close == std::wstring::npos) return RequestTarget{};
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != L':') return RequestTarget{};
      colon = close + 1;
    }
    target.host = authority.substr(1, close - 1);
  } else {
    colon = authority.find(L':');
    target.host = authority.substr(0, colon);
  }
  // "host:" with nothing after the colon keeps the scheme's port.
  if (colon != std::wstring::npos && colon + 1 < authority.size() &&
      !ParsePort(authority.substr(colon + 1), &target.port)) {
    return RequestTarget{};
  }
  if (target.host.empty()) return RequestTarget{};
  return target;
}

int LeadingDecimal(const std::wstring& text) {
  int64_t value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') break;
    value = value * 10 + (c - L'0');
    // A header that runs on past 32 bits is nonsense; keep the largest value.
    if (value > 0x7fffffff) return 0x7fffffff;
  }
  return static_cast<int>(value);
}

}  // namespace tov
