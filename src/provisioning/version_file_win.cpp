#include "provisioning/version_file_win.h"

#include <windows.h>

#include "base/unique_handle.h"
#include "provisioning/version_rules.h"

namespace {

std::wstring MarkerPath(const std::wstring& clientDir) {
  return clientDir + L"\\" + tov::kVersionFileName;
}

}  // namespace

bool RemoveVersionFile(const std::wstring& clientDir) {
  std::wstring marker = MarkerPath(clientDir);
  std::wstring aside = marker + L".old";
  // A read-only leftover of an earlier run would stop the rename.
  ::SetFileAttributesW(aside.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!::MoveFileExW(marker.c_str(), aside.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  ::SetFileAttributesW(aside.c_str(), FILE_ATTRIBUTE_NORMAL);
  // Under its other name it is no marker any more: a failure here is harmless.
  ::DeleteFileW(aside.c_str());
  return true;
}

bool WriteVersionFile(const std::wstring& clientDir, const std::string& text) {
  std::wstring marker = MarkerPath(clientDir);
  std::wstring fresh = marker + L".new";
  tov::UniqueHandleK file(::CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  bool ok = file &&
            ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
            written == text.size() && ::FlushFileBuffers(file.get());
  file.reset();
  ok = ok && ::MoveFileExW(fresh.c_str(), marker.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) ::DeleteFileW(fresh.c_str());
  return ok;
}
