// How Windows splits a path, told without asking Windows: the launcher
// decides from these which folders it may create, where a free-space probe
// stops climbing, and whether an address or a folder starts a certain way.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace tov {

// Windows takes either slash between names.
inline bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Characters of `path` that belong to its root, the separator after it
// included: "C:\" (3), "C:" (2), "\" (1), "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\"; zero for a relative path. A root is
// never created nor climbed above.
size_t RootLength(const std::wstring& path);

// The folder that holds `path`: "C:\a" for "C:\a\b", "C:\" for "C:\a",
// "\\server\share\" for "\\server\share\a"; empty for a root, a drive
// alone or a bare name. Trailing separators of `path` are ignored.
std::wstring ParentFolder(const std::wstring& path);

// The folders to create, outermost first, so that `folder` exists once each
// one is made in turn (directory creation makes one level per call). A
// drive root, a UNC share or a "\\?\" prefix is never in the list.
std::vector<std::wstring> FolderChain(const std::wstring& folder);

// The last name of `path`: "x.exe" for "C:\a\x.exe", all of a bare name.
std::wstring FileNameOf(const std::wstring& path);

// Whether `text` starts with `lowerPrefix` (written in lower case), letters
// compared without their case.
bool StartsWithIgnoringCase(const std::wstring& text, const wchar_t* lowerPrefix);

}  // namespace tov
