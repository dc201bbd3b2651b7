// Folders the system names for the running user and process.
#pragma once
#include <string>

namespace tov {

// The user's shell folder of `csidl` (CSIDL_STARTMENU, ...); empty when the
// shell cannot name it, for example when it does not exist, with the
// thread's last error telling why. Nothing is ever placed at a path formed
// from an empty folder: it would land in the root of the current drive.
std::wstring ShellFolder(int csidl);

// The process's current directory, however long; empty when it cannot be read.
std::wstring CurrentDirectory();

}  // namespace tov
