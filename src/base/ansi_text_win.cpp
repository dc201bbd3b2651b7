#include "base/ansi_text_win.h"

#include <windows.h>

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

std::wstring AnsiToWide(const std::string& narrow) {
  int length = static_cast<int>(::strnlen(narrow.data(), narrow.size()));
  if (length == 0) return {};
  int n = ::MultiByteToWideChar(CP_THREAD_ACP, 0, narrow.data(), length, nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_THREAD_ACP, 0, narrow.data(), length, out.data(), n);
  return out;
}
