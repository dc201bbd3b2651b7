#include "provisioning/free_space_win.h"

#include <windows.h>

#include "base/launcher_log.h"
#include "base/path_rules.h"
#include "provisioning/package_rules.h"

bool VolumeFreeSpace(const std::wstring& folder, uint64_t* freeBytes, uint64_t* volumeBytes) {
  std::wstring at = folder;
  while (!at.empty()) {
    // A share must be named with its trailing separator; any folder may.
    std::wstring asked = at;
    if (asked.back() != L'\\' && asked.back() != L'/') asked += L'\\';
    ULARGE_INTEGER available{}, total{};
    if (::GetDiskFreeSpaceExW(asked.c_str(), &available, &total, nullptr)) {
      *freeBytes = available.QuadPart;
      if (volumeBytes) *volumeBytes = total.QuadPart;
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
  uint64_t free = 0, volume = 0;
  bool known = probe ? probe(folder, &free, &volume) : VolumeFreeSpace(folder, &free, &volume);
  if (!known) return true;
  const uint64_t reserve = tov::FreeSpaceReserve(volume);
  if (need <= free && reserve <= free - need) return true;
  std::wstring text = L"not enough disk space in " + folder + L": need " + std::to_wstring(need) + L" bytes";
  if (need <= free) text += L" and a reserve of " + std::to_wstring(reserve) + L" bytes";
  LOG_ERROR(text + L", " + std::to_wstring(free) + L" bytes free", operation);
  return false;
}
