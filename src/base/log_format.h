// The text of the local log's lines.
#pragma once
#include <string>

namespace tov {

// "Sep 15 2021 19:46:13" from the compiler's __DATE__ and __TIME__.
std::wstring BuildStamp(const char* date, const char* time);

// Widens an 8-bit operation name; only ASCII is expected here, anything else
// is kept byte for byte (Latin-1).
std::wstring WidenAscii(const std::string& text);

// "[stamp][INFO][op::line] message\n"
std::wstring FormatInfoLine(const std::wstring& stamp, const std::wstring& operation, int line,
                            const std::wstring& message);
// "[stamp][ERROR][op::line][message]\n"
std::wstring FormatErrorLine(const std::wstring& stamp, const std::wstring& operation, int line,
                             const std::wstring& message);

}  // namespace tov
