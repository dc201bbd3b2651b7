// Removal of a directory with everything below it, for the uninstaller.
#pragma once
#include <windows.h>

#include <string>

namespace tov {

// Removes `path` and all it holds, hidden and system entries included.
// Nonzero when the directory itself is gone. Entries that cannot be deleted
// (read-only files, files in use) are passed over, so the directory stays
// and the result is 0. A directory junction or symbolic link, at `path` or
// anywhere below it, is removed as the link itself: what it points at lies
// outside the tree and is never entered. A link that cannot be removed as
// such stays, and so does its directory.
[[nodiscard]] BOOL DeleteNotNullDir(std::wstring path);

}  // namespace tov
