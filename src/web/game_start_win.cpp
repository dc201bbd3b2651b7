#include "web/game_start_win.h"

#include <io.h>

#include <cstdio>
#include <memory>

#include "base/text_win.h"
#include "base/unique_handle.h"

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM record) noexcept {
  auto* search = reinterpret_cast<ProcessWindowSearch*>(record);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId) return TRUE;
  search->window = window;
  return FALSE;
}

std::optional<std::wstring> ReadLuaPathFile() {
  constexpr const wchar_t* kName = L"luapath.txt";
  if (_waccess(kName, 0) != 0) return std::nullopt;
  tov::UniqueFile file(_wfopen(kName, L"rt"));
  // Present but unreadable (a folder of that name, no permission): the
  // override says nothing.
  if (!file) return std::wstring();
  // Only the first line counts, so the rest is never read. A line break
  // byte cannot be part of a double-byte character in the ANSI code pages.
  std::string line;
  for (int c = fgetc(file.get()); c != EOF && c != '\n'; c = fgetc(file.get())) {
    line.push_back(static_cast<char>(c));
  }
  return AnsiToWide(line);
}
