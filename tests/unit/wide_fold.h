// A stand-in for the file system's upper-case table in plain tests: it
// folds more letters than the C library's "C" locale does (an accented and
// a Greek capital), as Windows' table does.
#pragma once
#include <string>

#include "provisioning/package_rules.h"

namespace tov {

inline std::wstring WideTestFold(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    if (c == L'\u00e4') c = L'\u00c4';
    if (c == L'\u03c3') c = L'\u03a3';
  }
  return out;
}

}  // namespace tov
