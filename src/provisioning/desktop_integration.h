// Desktop integration of the installed launcher: the four shell links and
// the per-user uninstall entry. The names, places and texts are decided here
// without any Windows call; desktop_integration_win.cpp writes them.
#pragma once
#include <string>
#include <vector>

#include "base/launcher_settings.h"

namespace tov {

// Under HKEY_CURRENT_USER.
inline constexpr const wchar_t* kUninstallKeyPath =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" TOV_REGISTRY_KEY_NAME;
inline constexpr const wchar_t* kUninstallArgument = L"/uninstall";

// "<InstallRoot>\<title>.exe": the launcher copy every link and the uninstall
// entry point at.
std::wstring InstalledLauncherPath(const std::wstring& installRoot, const std::wstring& gameTitle);

// "<Start menu>\Apps\<channel>"; the uninstaller removes this same folder.
std::wstring StartMenuFolder(const std::wstring& startMenu, const std::wstring& channel);

// "<title>-卸载"
std::wstring UninstallLinkName(const std::wstring& gameTitle);

// "<folder>\<name>.lnk"
std::wstring LinkPath(const std::wstring& folder, const std::wstring& name);

// The command Windows runs to uninstall: "<launcher> /uninstall". The
// launcher path is quoted when it holds a blank, because Windows would
// otherwise try its first word as the program.
std::wstring UninstallString(const std::wstring& installRoot, const std::wstring& gameTitle);

// Which shell folder a link goes into; the first two are looked up per user.
enum class LinkPlace { StartMenu, Desktop, InstallRoot };

struct ShortcutEntry {
  LinkPlace place;
  std::wstring folder;     // formed from the looked-up folder
  std::wstring name;       // link file name without ".lnk"
  std::wstring arguments;  // empty for none
};

// The four links in the order they are written. `startMenu` and `desktop`
// are the user's folders as the shell reports them.
std::vector<ShortcutEntry> ShortcutTable(const std::wstring& startMenu, const std::wstring& desktop,
                                         const std::wstring& installRoot,
                                         const std::wstring& gameTitle, const std::wstring& channel);

struct RegistryText {
  std::wstring name;
  std::wstring data;
};

// The uninstall entry's REG_SZ values in the order they are written.
std::vector<RegistryText> UninstallEntryValues(const std::wstring& installRoot,
                                               const std::wstring& gameTitle,
                                               const std::wstring& launcherVersion);

// Log texts of the failures.
std::wstring CreateLinkErrorText(unsigned long lastError, long hresult);
std::wstring SetRegistiesErrorText(long lret, unsigned long lastError);
std::wstring ShellFolderErrorText(int csidl, unsigned long lastError);

// Windows operations (desktop_integration_win.cpp), run on the provisioning
// worker. None returns a result: failures are logged and the sequence goes
// on. They read InstallRoot from the application state.

// Writes the uninstall entry under HKEY_CURRENT_USER.
void SetRegisties();
// Writes the four links of ShortcutTable, replacing existing ones.
void CreateShortcuts();
// Writes "<folder>\<name>.lnk", creating missing folders first.
void CreateShortcut(const std::wstring& name, const std::wstring& folder, const std::wstring& target,
                    const std::wstring& arguments);
// Builds one shell link to `target` with `arguments` and saves it at
// `linkPath`. COM must be initialised on the calling thread.
void CreateLink(const std::wstring& target, const std::wstring& linkPath,
                const std::wstring& arguments);

}  // namespace tov
