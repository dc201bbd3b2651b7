#include "provisioning/desktop_integration.h"

#include <cstdint>
#include <string>

namespace tov {

namespace {

bool HasBlank(const std::wstring& text) { return text.find_first_of(L" \t") != std::wstring::npos; }

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
