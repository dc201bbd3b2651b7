#include "app/delete_tree_win.h"

#include "base/launcher_log.h"
#include "base/unique_handle.h"

namespace tov {

namespace {

constexpr const char* kDeleteOp = "CWebApp::DeleteNotNullDir";

bool IsDotEntry(const wchar_t* name) {
  return (name[0] == L'.' && name[1] == L'\0') ||
         (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

// Junctions, directory symbolic links and mount points all carry the
// reparse-point attribute. Whatever the tag, the directory is not entered:
// removing the contents of an unknown reparse point could reach outside
// the tree, while leaving it only makes the removal report failure.
bool IsReparsePoint(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Removes the link at `path`, never what it points at. The handle is opened
// on the link itself and checked to be one before it is deleted: Wine shows
// a Unix link to a directory as a reparse point but opens, and would
// delete, its target; there the link stays and the removal fails.
BOOL RemoveLink(const std::wstring& path) {
  UniqueHandleK link(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr));
  if (!link) return FALSE;
  FILE_ATTRIBUTE_TAG_INFO opened{};
  if (!GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &opened, sizeof opened) ||
      !IsReparsePoint(opened.FileAttributes)) {
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return FALSE;
  }
  FILE_DISPOSITION_INFO remove{};
  remove.DeleteFile = TRUE;
  return SetFileInformationByHandle(link.get(), FileDispositionInfo, &remove, sizeof remove);
}

void DeleteEntries(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  UniqueFind find(FindFirstFileW((path + L"/*.*").c_str(), &entry));
  if (!find) return;
  do {
    if (IsDotEntry(entry.cFileName)) continue;
    const std::wstring full = path + L"\\" + entry.cFileName;
    // Failures show when the directory itself cannot be removed.
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      static_cast<void>(DeleteNotNullDir(full));
    } else {
      DeleteFileW(full.c_str());
    }
  } while (FindNextFileW(find.get(), &entry));
}

}  // namespace

BOOL DeleteNotNullDir(std::wstring path) {
  LOG_INFO(path, kDeleteOp);
  if (IsReparsePoint(GetFileAttributesW(path.c_str()))) return RemoveLink(path);
  DeleteEntries(path);
  return RemoveDirectoryW(path.c_str());
}

}  // namespace tov
