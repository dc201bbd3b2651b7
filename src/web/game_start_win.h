// The Windows side of the game start: finding the game's window and the
// local override file.
#pragma once
#include <windows.h>

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

// The argument that "luapath.txt" in the current directory adds to the
// game's command line (LuaPathArgument), or empty. Its first line is read
// as text in the ANSI code page, and taken only when it names an existing
// directory on a local drive (LuaPathCandidate) and the current directory
// is not the user's Downloads folder or inside it, where any web page can
// leave a file. An ignored file is logged.
std::wstring ReadLuaPathOverride();
