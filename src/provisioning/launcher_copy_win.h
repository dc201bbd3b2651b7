// The launcher places a copy of itself in InstallRoot, which every link and
// the uninstall entry point at; both endings of the update make it.
#pragma once
#include <string>

// The running executable's path, at most 260 characters; empty when the
// system cannot give it.
std::wstring RunningLauncherPath();

// The error of CopyFileW (0 on success) copying `source` over `destination`.
[[nodiscard]] unsigned long CopyLauncher(const std::wstring& source, const std::wstring& destination);
