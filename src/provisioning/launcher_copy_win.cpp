#include "provisioning/launcher_copy_win.h"

#include <windows.h>

#include "base/text_win.h"

std::wstring RunningLauncherPath() {
  bool cut = false;
  std::wstring path = ModulePath(&cut);
  // A cut path would name some other file.
  return cut ? std::wstring() : path;
}

unsigned long CopyLauncher(const std::wstring& source, const std::wstring& destination) {
  if (source.empty()) return ERROR_FILE_NOT_FOUND;
  if (::CopyFileW(source.c_str(), destination.c_str(), FALSE)) return 0;
  return ::GetLastError();
}
