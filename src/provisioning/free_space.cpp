#include "provisioning/free_space.h"

namespace tov {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Characters of `path` that belong to its root, the separator after it
// included: "C:\" (3), "C:" (2), "\\server\share\", "\\?\C:\", "\" (1).
size_t RootLength(const std::wstring& path) {
  if (path.compare(0, 4, L"\\\\?\\") == 0) return 4 + RootLength(path.substr(4));
  if (path.size() >= 2 && path[1] == L':') return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // The server and the share name together make the root.
    size_t at = 2;
    for (int part = 0; part < 2; ++part) {
      while (at < path.size() && !IsSeparator(path[at])) ++at;
      if (at < path.size()) ++at;
    }
    return at;
  }
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

}  // namespace

std::wstring ParentFolder(const std::wstring& path) {
  size_t root = RootLength(path);
  size_t end = path.size();
  while (end > root && IsSeparator(path[end - 1])) --end;
  if (end <= root) return L"";
  size_t sep = end;
  while (sep > root && !IsSeparator(path[sep - 1])) --sep;
  if (sep == 0) return L"";  // a bare name
  // "C:\a" -> "C:\": the root keeps its separator, other folders lose theirs.
  size_t cut = sep > root ? sep - 1 : root;
  while (cut > root && IsSeparator(path[cut - 1])) --cut;
  return path.substr(0, cut);
}

}  // namespace tov
