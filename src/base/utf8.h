// UTF-8 encoding of the launcher's wide strings (log file, hashing).
#pragma once
#include <string>

namespace tov {

// Encodes UTF-16 (where wchar_t is 16 bits) or UTF-32 text as UTF-8. An
// unpaired surrogate becomes U+FFFD so the output is always valid UTF-8.
std::string WideToUtf8(const std::wstring& text);

}  // namespace tov
