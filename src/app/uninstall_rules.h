// Plain pieces of the uninstall run.
#pragma once
#include <optional>
#include <string>

namespace tov {

// The hidden command that removes InstallRoot a few seconds after the
// launcher has ended. The delay pings the loopback address only, so nothing
// leaves the machine. Empty when the text would not fit the 1,024
// characters of the command buffer (a cut command could remove the wrong
// directory), and for a path holding "%" or a quote, which no quoting keeps
// as one argument.
std::optional<std::wstring> RemovalCommandParameters(const std::wstring& installRoot);

// The directory the command processor starts in: the parent of InstallRoot,
// since no directory can be removed while it is some process's current one.
std::wstring RemovalWorkingDirectory(const std::wstring& installRoot);

}  // namespace tov
