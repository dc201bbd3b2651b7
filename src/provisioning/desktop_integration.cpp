#include "provisioning/desktop_integration.h"

#include <cstdint>
#include <string>

namespace tov {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool HasBlank(const std::wstring& text) { return text.find_first_of(L" \t") != std::wstring::npos; }

// Length of the part of an absolute path that is never created: "C:\",
// "\\server\share\", "\\?\C:\" or "\\?\UNC\server\share\". Zero for a
// relative path.
size_t RootLength(const std::wstring& path) {
  size_t start = 0;
  bool unc = false;
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    start = 8;
    unc = true;
  } else if (path.compare(0, 4, L"\\\\?\\") == 0) {
    start = 4;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    start = 2;
    unc = true;
  }
  if (unc) {
    // Skip the server and the share names.
    size_t pos = start;
    for (int part = 0; part < 2; ++part) {
      while (pos < path.size() && !IsSeparator(path[pos])) ++pos;
      if (pos < path.size()) ++pos;
    }
    return pos;
  }
  if (path.size() >= start + 2 && path[start + 1] == L':') {
    size_t pos = start + 2;
    if (pos < path.size() && IsSeparator(path[pos])) ++pos;
    return pos;
  }
  if (start == 0 && !path.empty() && IsSeparator(path[0])) return 1;
  return start;
}

std::wstring Number(long long value) { return std::to_wstring(value); }

}  // namespace

std::wstring InstalledLauncherPath(const std::wstring& installRoot, const std::wstring& gameTitle) {
  return installRoot + L"\\" + gameTitle + L".exe";
}

std::wstring StartMenuFolder(const std::wstring& startMenu, const std::wstring& channel) {
  return startMenu + L"\\Apps\\" + channel;
}

std::wstring UninstallLinkName(const std::wstring& gameTitle) {
  // "-卸载" ("uninstall"), spelled out so the source encoding cannot alter it.
  return gameTitle + L"-\u5378\u8f7d";
}

std::wstring LinkPath(const std::wstring& folder, const std::wstring& name) {
  return folder + L"\\" + name + L".lnk";
}

std::wstring UninstallString(const std::wstring& installRoot, const std::wstring& gameTitle) {
  std::wstring launcher = InstalledLauncherPath(installRoot, gameTitle);
  if (HasBlank(launcher)) launcher = L"\"" + launcher + L"\"";
  return launcher + L" " + kUninstallArgument;
}

std::vector<ShortcutEntry> ShortcutTable(const std::wstring& startMenu, const std::wstring& desktop,
                                         const std::wstring& installRoot,
                                         const std::wstring& gameTitle,
                                         const std::wstring& channel) {
  const std::wstring menuFolder = StartMenuFolder(startMenu, channel);
  const std::wstring uninstallName = UninstallLinkName(gameTitle);
  return {
      {LinkPlace::StartMenu, menuFolder, gameTitle, L""},
      {LinkPlace::StartMenu, menuFolder, uninstallName, kUninstallArgument},
      {LinkPlace::Desktop, desktop, gameTitle, L""},
      {LinkPlace::InstallRoot, installRoot, uninstallName, kUninstallArgument},
  };
}

std::vector<RegistryText> UninstallEntryValues(const std::wstring& installRoot,
                                               const std::wstring& gameTitle,
                                               const std::wstring& launcherVersion) {
  return {
      {L"DisplayIcon", InstalledLauncherPath(installRoot, gameTitle)},
      {L"DisplayName", gameTitle},
      {L"DisplayVersion", launcherVersion},
      {L"UninstallString", UninstallString(installRoot, gameTitle)},
  };
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

std::wstring CreateLinkErrorText(unsigned long lastError, long hresult) {
  // Both print as signed 32-bit numbers, so a failure HRESULT is negative.
  return L"CreateLink ret:" + Number(static_cast<int32_t>(lastError)) +
         L" hRes:" + Number(static_cast<int32_t>(hresult));
}

std::wstring SetRegistiesErrorText(long lret, unsigned long lastError) {
  return L"SetRegisties lret:" + Number(static_cast<int32_t>(lret)) +
         L" error:" + Number(static_cast<int32_t>(lastError));
}

std::wstring ShellFolderErrorText(int csidl, unsigned long lastError) {
  return L"CreateShortcuts folder csidl:" + Number(csidl) +
         L" error:" + Number(static_cast<int32_t>(lastError));
}

}  // namespace tov
