// What the fuzz targets share: turning raw bytes into the launcher's wide
// texts, and the Windows rules their results are checked against (how a
// command line splits into arguments, where a relative path lands), written
// here from the system's documented behaviour so they run natively.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tovfuzz {

// Reports a broken invariant with the values involved and aborts, which
// libFuzzer records as a crash with the input that caused it.
[[noreturn]] void Fail(const char* what, const std::wstring& detail = L"");
inline void Check(bool ok, const char* what, const std::wstring& detail = L"") {
  if (!ok) Fail(what, detail);
}

// UTF-16 code units as Windows holds them, whatever the width of wchar_t
// here: well-formed UTF-8 decodes (above U+FFFF into surrogate pairs), any
// other byte becomes the code unit of the same value. Seeds stay readable
// text while every unit up to U+FFFF stays reachable.
std::wstring WideFromBytes(const uint8_t* data, size_t size);
std::wstring WideFromBytes(const std::string& bytes);

// The pieces of `data` between NUL bytes (n NULs give n + 1 pieces).
std::vector<std::string> SplitOnNul(const uint8_t* data, size_t size);

// The arguments a program finds in `line`, by CommandLineToArgvW's rules:
// the program path ends at its closing quote or first blank and knows no
// escapes; after it, blanks (space, tab) outside quotes separate, 2n
// backslashes before a quote give n and the quote opens or closes, 2n+1
// give n and a literal quote, and within quotes a run of three quotes gives
// one literal quote. An empty line gives no arguments here.
std::vector<std::wstring> SplitCommandLine(const std::wstring& line);

// The arguments of `tail` read as the part of a command line after the
// program path, and whether it leaves a quote open (so text appended after
// a blank would join its last argument).
struct TailSplit {
  std::vector<std::wstring> args;
  bool quoteOpen = false;
};
TailSplit SplitCommandTail(const std::wstring& tail);

// Whether `relative`, appended to a directory with a separator and handed
// to the Win32 file functions, names something inside that directory. Taken
// pessimistically: a leading separator or drive letter leaves it, and any
// component made only of dots and blanks with two dots or more counts as a
// step up (Windows drops trailing dots and blanks from components). The
// text ends at its first NUL, as the system reads it.
bool StaysBelowDirectory(const std::wstring& relative);

// Printable form of a wide text for failure reports (non-ASCII as \uXXXX).
std::string Printable(const std::wstring& text);

}  // namespace tovfuzz
