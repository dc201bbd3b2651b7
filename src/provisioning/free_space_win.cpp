#include "provisioning/free_space_win.h"

#include <windows.h>

#include "base/launcher_log.h"

bool VolumeFreeSpace(const std::wstring& folder, uint64_t* freeBytes) {
  std::wstring at = folder;
  while (!at.empty()) {
    // A share must be named with its trailing separator; any folder may.
    std::wstring asked = at;
    if (asked.back() != L'\\' && asked.back() != L'/') asked += L'\\';
    ULARGE_INTEGER available{};
    if (::GetDiskFreeSpaceExW(asked.c_str(), &available, nullptr, nullptr)) {
      *freeBytes = available.QuadPart;
      return true;
    }
    DWORD error = ::GetLastError();
    if (error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND &&
        error != ERROR_DIRECTORY) {
      return false;
    }
    at = tov::ParentFolder(at);
  }
  return false;
}

bool HasRoomFor(const std::wstring& folder, uint64_t need, const FreeSpaceProbe& probe,
                const char* operation) {
  uint64_t free = 0;
  bool known = probe ? probe(folder, &free) : VolumeFreeSpace(folder, &free);
  if (!known || need <= free) return true;
  LOG_ERROR(L"not enough disk space in " + folder + L": need " + std::to_wstring(need) +
                L" bytes, " + std::to_wstring(free) + L" bytes free",
            operation);
  return false;
}
