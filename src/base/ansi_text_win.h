// Text handed to and received from libcurl and minizip travels in the
// thread's ANSI code page; inside the launcher everything is UTF-16.
#pragma once
#include <string>

// Characters the code page cannot represent become its default character.
std::string WideToAnsi(const std::wstring& text);

// Stops at the first NUL byte, like the C string it usually is.
std::wstring AnsiToWide(const std::string& narrow);
