#include "app/uninstall_rules.h"

namespace tov {

std::optional<std::wstring> RemovalCommandParameters(const std::wstring& installRoot) {
  std::wstring target = installRoot + L"\\";
  if (installRoot.find(L' ') != std::wstring::npos) target = L"\"" + target + L"\"";
  std::wstring text = L"/c ping 127.0.0.1 -n 4 > Nul & rmdir /q /s " + target;
  if (text.size() >= 1024) return std::nullopt;
  return text;
}

std::wstring RemovalWorkingDirectory(const std::wstring& installRoot) {
  size_t slash = installRoot.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return L"";
  std::wstring parent = installRoot.substr(0, slash);
  // "C:" alone would mean the current directory of drive C, not its root.
  if (parent.size() == 2 && parent[1] == L':') parent += L"\\";
  return parent;
}

}  // namespace tov
