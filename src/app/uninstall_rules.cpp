#include "app/uninstall_rules.h"

#include "base/path_rules.h"

namespace tov {

std::optional<std::wstring> RemovalCommandParameters(const std::wstring& installRoot) {
  // The path is always one quoted argument: unquoted, a "&", "^" or
  // parenthesis in it would cut the command into others. Inside quotes the
  // command processor still expands "%" and a quote would end the argument,
  // so such a path gets no command at all.
  if (installRoot.find_first_of(L"%\"") != std::wstring::npos) return std::nullopt;
  std::wstring target = L"\"" + installRoot + L"\\\"";
  std::wstring text = L"/c ping 127.0.0.1 -n 4 > Nul & rmdir /q /s " + target;
  if (text.size() >= 1024) return std::nullopt;
  return text;
}

std::wstring RemovalWorkingDirectory(const std::wstring& installRoot) {
  // A drive's root keeps its separator: "C:" alone would mean the current
  // directory of drive C.
  return ParentFolder(installRoot);
}

}  // namespace tov
