#include "telemetry/query_escape.h"

#include <windows.h>
#include <shlwapi.h>

std::wstring EscapeQueryValue(const std::wstring& text) {
  constexpr DWORD kUrlLimit = 2084;  // INTERNET_MAX_URL_LENGTH + 1
  wchar_t escaped[kUrlLimit] = {};
  DWORD size = kUrlLimit;
  // Non-ASCII (the Chinese report texts) as escaped UTF-8: left raw, it would
  // go out in whatever code page the request layer picks on that machine.
  if (FAILED(::UrlEscapeW(text.c_str(), escaped, &size, URL_ESCAPE_SEGMENT_ONLY | URL_ESCAPE_AS_UTF8))) {
    return L"";
  }
  return std::wstring(escaped, size);
}
