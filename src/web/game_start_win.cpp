#include "web/game_start_win.h"

#include <io.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>
#include <string>

#include "base/com_ptr.h"
#include "base/launcher_log.h"
#include "base/shell_folders_win.h"
#include "base/text_win.h"
#include "base/unique_handle.h"
#include "web/login_launch.h"

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM record) noexcept {
  auto* search = reinterpret_cast<ProcessWindowSearch*>(record);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId) return TRUE;
  search->window = window;
  return FALSE;
}

namespace {

constexpr const char* kLaunchOp = "CWebCDlg::LaunchGame";

bool SameTextIgnoringCase(const wchar_t* a, size_t aLength, const std::wstring& b) {
  return ::CompareStringOrdinal(a, static_cast<int>(aLength), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// True also when the folder cannot be told: the override is a developer's
// convenience, not worth a guess.
bool InDownloadsFolder(const std::wstring& dir) {
  tov::CoTaskMemText downloads;
  if (FAILED(::SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, downloads.put()))) return true;
  std::wstring folder = downloads.get();
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  if (dir.size() < folder.size() || !SameTextIgnoringCase(dir.c_str(), folder.size(), folder)) return false;
  return dir.size() == folder.size() || dir[folder.size()] == L'\\';
}

bool IsLocalDirectory(const std::wstring& path) {
  const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
  UINT type = ::GetDriveTypeW(root);
  if (type == DRIVE_REMOTE || type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN) return false;
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ReadFirstLine(FILE* file) {
  // Only the first line counts, so the rest is never read. A line break
  // byte cannot be part of a double-byte character in the ANSI code pages.
  std::string line;
  for (int c = fgetc(file); c != EOF && c != '\n'; c = fgetc(file)) line.push_back(static_cast<char>(c));
  return AnsiToWide(line);
}

}  // namespace

std::wstring ReadLuaPathOverride() {
  constexpr const wchar_t* kName = L"luapath.txt";
  if (_waccess(kName, 0) != 0) return L"";
  // Checked before the file is read: what a web page left in Downloads is
  // not looked at.
  if (InDownloadsFolder(tov::CurrentDirectory())) {
    LOG_INFO(L"luapath.txt ignored: Downloads folder", kLaunchOp);
    return L"";
  }
  tov::UniqueFile file(_wfopen(kName, L"rt"));
  // Present but unreadable (a folder of that name, no permission): the
  // override says nothing.
  if (!file) return L"";
  std::wstring dir = tov::LuaPathCandidate(ReadFirstLine(file.get()));
  // The drive is asked about before the path is touched: a path on a
  // network drive would make the system connect there.
  if (dir.empty() || !IsLocalDirectory(dir)) {
    LOG_INFO(L"luapath.txt ignored: not a local directory", kLaunchOp);
    return L"";
  }
  return tov::LuaPathArgument(dir);
}
