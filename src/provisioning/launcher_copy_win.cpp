#include "provisioning/launcher_copy_win.h"

#include <windows.h>

std::wstring RunningLauncherPath() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  // A cut path (n == MAX_PATH) would name some other file.
  if (n == 0 || n >= MAX_PATH) return L"";
  return std::wstring(path, n);
}

unsigned long CopyLauncher(const std::wstring& source, const std::wstring& destination) {
  if (source.empty()) return ERROR_FILE_NOT_FOUND;
  if (::CopyFileW(source.c_str(), destination.c_str(), FALSE)) return 0;
  return ::GetLastError();
}
