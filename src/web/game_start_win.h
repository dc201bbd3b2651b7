// The Windows side of the game start: finding the game's window and the
// local override file.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

// What FindProcessWindow looks for and finds: the first top-level window
// owned by `processId`.
struct ProcessWindowSearch {
  HWND window = nullptr;
  DWORD processId = 0;
};

// EnumWindows callback; `record` points to a ProcessWindowSearch. Stops the
// enumeration at the first window of the process.
BOOL CALLBACK FindProcessWindow(HWND window, LPARAM record) noexcept;

// The first line of "luapath.txt" in the current directory, read as text in
// the ANSI code page; nothing when there is no such file.
std::optional<std::wstring> ReadLuaPathFile();
