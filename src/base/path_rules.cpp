#include "base/path_rules.h"

#include <cwctype>

namespace tov {

namespace {

constexpr const wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr const wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";

// Past the server and the share name that start at `at`, each with the
// separator after it.
size_t SkipServerAndShare(const std::wstring& path, size_t at) {
  for (int part = 0; part < 2; ++part) {
    while (at < path.size() && !IsSeparator(path[at])) ++at;
    if (at < path.size()) ++at;
  }
  return at;
}

}  // namespace

size_t RootLength(const std::wstring& path) {
  // "\\?\UNC\" stands for the two leading separators of a share, so the
  // server and the share belong to the root as they do without it.
  if (path.compare(0, 8, kLongUncPrefix) == 0) return SkipServerAndShare(path, 8);
  size_t start = 0;
  if (path.compare(0, 4, kLongPrefix) == 0) {
    start = 4;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    return SkipServerAndShare(path, 2);
  }
  if (path.size() >= start + 2 && path[start + 1] == L':') {
    return path.size() >= start + 3 && IsSeparator(path[start + 2]) ? start + 3 : start + 2;
  }
  if (start == 0 && !path.empty() && IsSeparator(path[0])) return 1;
  return start;
}

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

std::vector<std::wstring> FolderChain(const std::wstring& folder) {
  std::vector<std::wstring> chain;
  const size_t root = RootLength(folder);
  size_t pos = root;
  while (pos < folder.size()) {
    size_t end = pos;
    while (end < folder.size() && !IsSeparator(folder[end])) ++end;
    // Doubled separators name no folder of their own.
    if (end > pos) chain.push_back(folder.substr(0, end));
    pos = end + 1;
  }
  return chain;
}

std::wstring FileNameOf(const std::wstring& path) {
  size_t at = path.size();
  while (at > 0 && !IsSeparator(path[at - 1])) --at;
  return path.substr(at);
}

bool StartsWithIgnoringCase(const std::wstring& text, const wchar_t* lowerPrefix) {
  for (size_t i = 0; lowerPrefix[i]; ++i) {
    if (i >= text.size()) return false;
    if (std::towlower(static_cast<wint_t>(text[i])) != static_cast<wint_t>(lowerPrefix[i])) return false;
  }
  return true;
}

}  // namespace tov
