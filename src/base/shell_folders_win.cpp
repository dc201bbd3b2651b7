#include "base/shell_folders_win.h"

#include <windows.h>
#include <shlobj.h>

namespace tov {

std::wstring ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return L"";
  return buffer;
}

std::wstring CurrentDirectory() {
  // The directory may change between the two calls; a second answer that
  // no longer fits is taken as unreadable rather than cut.
  DWORD size = ::GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return L"";
  std::wstring dir(size, L'\0');
  DWORD length = ::GetCurrentDirectoryW(size, dir.data());
  if (length == 0 || length >= size) return L"";
  dir.resize(length);
  return dir;
}

}  // namespace tov
