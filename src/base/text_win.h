// Text conversions of the launcher. Inside it everything is UTF-16; text
// handed to and received from libcurl and minizip travels in the thread's
// ANSI code page (UTF-8 conversions are in utf8.h).
#pragma once
#include <windows.h>

#include <string>

// Characters the code page cannot represent become its default character.
std::string WideToAnsi(const std::wstring& text);

// Stops at the first NUL byte, like the C string it usually is.
std::wstring AnsiToWide(const std::string& narrow);

// `bytes` up to their first NUL, decoded from `codePage`; empty when they
// are not valid in it.
std::wstring DecodeText(const std::string& bytes, UINT codePage);

// The running executable's full path as a 260-character buffer holds it: at
// most 259 characters. `cut` (when given) tells whether it was longer, so a
// caller that would name another file with it can refuse.
std::wstring ModulePath(bool* cut = nullptr);

// `text` in upper case by the system's own table, the one the file system
// compares names with when it ignores case (not a language's rules): two
// names the file system takes for one come out the same.
std::wstring FileSystemUpperCase(const std::wstring& text);
