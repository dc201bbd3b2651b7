// The client identifier's digest.
#pragma once
#include <string>

// MD5 of the text's UTF-8 bytes as 32 lower-case hexadecimal digits; the
// empty text when the system cannot hash. Stateless, any thread.
std::wstring Md5Hex(const std::wstring& text);
