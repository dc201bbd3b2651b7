// How much room the volume of a folder has left, and the folders above one.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Free bytes available to this user on the volume that holds `folder`, and
// the volume's size; false when that cannot be told. The folder need not
// exist yet: the nearest folder above it that does stands for it.
using FreeSpaceProbe =
    std::function<bool(const std::wstring& folder, uint64_t* freeBytes, uint64_t* volumeBytes)>;

namespace tov {

// The folder that holds `path`: "C:\a" for "C:\a\b", "C:\" for "C:\a",
// "\\server\share\" for "\\server\share\a"; empty for a root, a drive
// alone or a bare name. Trailing separators of `path` are ignored.
std::wstring ParentFolder(const std::wstring& path);

}  // namespace tov
