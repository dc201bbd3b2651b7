#include "base/text_win.h"

#include <cstring>

std::string WideToAnsi(const std::wstring& text) {
  if (text.empty()) return {};
  int length = static_cast<int>(text.size());
  int n = ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), length, out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring DecodeText(const std::string& bytes, UINT codePage) {
  int length = static_cast<int>(::strnlen(bytes.data(), bytes.size()));
  if (length == 0) return {};
  int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(codePage, 0, bytes.data(), length, out.data(), n);
  return out;
}

std::wstring AnsiToWide(const std::string& narrow) { return DecodeText(narrow, CP_THREAD_ACP); }

std::wstring ModulePath(bool* cut) {
  wchar_t path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  // A path that does not fit comes back cut to the buffer, its end a NUL.
  bool longer = n >= MAX_PATH;
  if (cut) *cut = longer;
  return std::wstring(path, longer ? MAX_PATH - 1 : n);
}

std::wstring FileSystemUpperCase(const std::wstring& text) {
  if (text.empty()) return text;
  std::wstring out(text.size(), L'\0');
  int length = static_cast<int>(text.size());
  // Without LCMAP_LINGUISTIC_CASING the mapping is the file system's.
  if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), length, out.data(), length,
                      nullptr, nullptr, 0) == length) {
    return out;
  }
  out = text;
  ::CharUpperBuffW(out.data(), static_cast<DWORD>(length));
  return out;
}
