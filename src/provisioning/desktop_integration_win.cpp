// Writes the shell links and the uninstall entry of desktop_integration.h.
#include "provisioning/desktop_integration.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <utility>

#include "base/app_state.h"
#include "base/launcher_log.h"
#include "base/launcher_settings.h"
#include "base/path_rules.h"
#include "base/shell_folders_win.h"
#include "base/com_ptr.h"
#include "base/unique_handle.h"

namespace tov {

namespace {

constexpr const char* kShortcutsOp = "CGameRemoteConfig::CreateShortcuts";
constexpr const char* kShortcutOp = "CGameRemoteConfig::CreateShortcut";
constexpr const char* kLinkOp = "CGameRemoteConfig::CreateLink";
constexpr const char* kRegistryOp = "CGameRemoteConfig::SetRegisties";

// A missing shell folder is logged here, once for the whole sequence.
bool LoggedShellFolder(int csidl, std::wstring& folder) {
  std::wstring found = ShellFolder(csidl);
  if (found.empty()) {
    const DWORD lastError = GetLastError();
    LOG_ERROR(ShellFolderErrorText(csidl, lastError), kShortcutsOp);
    return false;
  }
  folder = std::move(found);
  return true;
}

}  // namespace

void SetRegisties() {
  const AppState& app = GetAppState();
  UniqueRegKey key;
  LONG lret = RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallKeyPath, 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
  if (lret != ERROR_SUCCESS) {
    const DWORD lastError = GetLastError();
    LOG_ERROR(SetRegistiesErrorText(lret, lastError), kRegistryOp);
    return;
  }
  for (const RegistryText& value :
       UninstallEntryValues(app.installRoot, LauncherSettings::GameTitle,
                            LauncherSettings::LauncherVersion)) {
    // The text with its one terminating NUL.
    const DWORD bytes = static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t));
    lret = RegSetValueExW(key.get(), value.name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.data.c_str()), bytes);
    if (lret != ERROR_SUCCESS) {
      const DWORD lastError = GetLastError();
      LOG_ERROR(SetRegistiesErrorText(lret, lastError), kRegistryOp);
    }
  }
}

void CreateShortcuts() {
  LOG_INFO(L"Begin CreateShortcuts", kShortcutsOp);
  {
    ComScope com;
    const AppState& app = GetAppState();
    const std::wstring target = InstalledLauncherPath(app.installRoot, LauncherSettings::GameTitle);

    std::wstring startMenu;
    std::wstring desktop;
    const bool haveStartMenu = LoggedShellFolder(CSIDL_STARTMENU, startMenu);
    const bool haveDesktop = LoggedShellFolder(CSIDL_DESKTOPDIRECTORY, desktop);

    for (const ShortcutEntry& link :
         ShortcutTable(startMenu, desktop, app.installRoot, LauncherSettings::GameTitle,
                       LauncherSettings::ChannelName)) {
      if (link.place == LinkPlace::StartMenu && !haveStartMenu) continue;
      if (link.place == LinkPlace::Desktop && !haveDesktop) continue;
      CreateShortcut(link.name, link.folder, target, link.arguments);
    }
  }
  LOG_INFO(L"End CreateShortcuts", kShortcutsOp);
}

void CreateShortcut(const std::wstring& name, const std::wstring& folder, const std::wstring& target,
                    const std::wstring& arguments) {
  LOG_INFO(L"Begin CreateShortcut", kShortcutOp);
  LOG_INFO(folder, kShortcutOp);
  LOG_INFO(arguments, kShortcutOp);

  // A folder that cannot be made shows up as the save's failure below.
  if (!PathFileExistsW(folder.c_str())) {
    for (const std::wstring& level : FolderChain(folder)) {
      if (!PathFileExistsW(level.c_str())) CreateDirectoryW(level.c_str(), nullptr);
    }
  }

  // An old link is replaced, not overwritten: saving over a hidden or
  // otherwise odd file could fail where a fresh one succeeds.
  const std::wstring linkPath = LinkPath(folder, name);
  if (PathFileExistsW(linkPath.c_str())) DeleteFileW(linkPath.c_str());

  CreateLink(target, linkPath, arguments);
  LOG_INFO(L"End CreateShortcut", kShortcutOp);
}

void CreateLink(const std::wstring& target, const std::wstring& linkPath,
                const std::wstring& arguments) {
  LOG_INFO(L"Begin CreateLink", kLinkOp);
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.put_void());
  if (SUCCEEDED(hr)) hr = link->SetPath(target.c_str());
  if (SUCCEEDED(hr)) hr = link->SetArguments(arguments.c_str());
  if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, file.put_void());
  if (SUCCEEDED(hr)) hr = file->Save(linkPath.c_str(), TRUE);
  if (FAILED(hr)) {
    const DWORD lastError = GetLastError();
    LOG_ERROR(CreateLinkErrorText(lastError, hr), kLinkOp);
    return;
  }
  LOG_INFO(L"End CreateLink", kLinkOp);
}

}  // namespace tov
