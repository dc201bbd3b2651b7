#include "ui/browser_lockdown_win.h"

#include <windows.h>
#include <urlmon.h>

#include <string>

#include "base/launcher_log.h"
#include "base/path_rules.h"
#include "base/text_win.h"
#include "ui/browser_lockdown.h"

namespace {

constexpr const char* kOp = "CWebBrowser2::LockDown";

std::wstring RegistryText(HKEY root, const wchar_t* key, const wchar_t* name) {
  wchar_t value[64] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (::RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return L"";
  return value;
}

std::wstring ExecutableName() {
  bool cut = false;
  std::wstring full = ModulePath(&cut);
  return cut ? L"" : tov::FileNameOf(full);
}

// Without it the control renders every page as Internet Explorer 7 did.
// The setting is the user's own and keyed by the executable's name, so the
// copy in the install folder, named after the game, gets its own too.
void SetDocumentMode() {
  constexpr const wchar_t* kIe = L"Software\\Microsoft\\Internet Explorer";
  std::wstring version = RegistryText(HKEY_LOCAL_MACHINE, kIe, L"svcVersion");
  if (version.empty()) version = RegistryText(HKEY_LOCAL_MACHINE, kIe, L"Version");
  DWORD mode = tov::BrowserEmulationValue(version);
  std::wstring name = ExecutableName();
  if (mode == 0 || name.empty()) return;
  LSTATUS status = ::RegSetKeyValueW(
      HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION",
      name.c_str(), REG_DWORD, &mode, sizeof mode);
  if (status != ERROR_SUCCESS) {
    LOG_ERROR(L"document mode not set: error " + std::to_wstring(status), kOp);
  }
}

}  // namespace

void LockDownBrowserEngine() {
  static const bool done = [] {
    // Local files get the restricted zone's rules; a page cannot move
    // itself into a zone of more rights; no control is installed; script
    // cannot ask for input; the local machine zone's protocols (and any
    // the registry locks down) are closed to the page.
    const struct {
      INTERNETFEATURELIST feature;
      const wchar_t* name;
    } features[] = {
        {FEATURE_LOCALMACHINE_LOCKDOWN, L"FEATURE_LOCALMACHINE_LOCKDOWN"},
        {FEATURE_ZONE_ELEVATION, L"FEATURE_ZONE_ELEVATION"},
        {FEATURE_RESTRICT_ACTIVEXINSTALL, L"FEATURE_RESTRICT_ACTIVEXINSTALL"},
        {FEATURE_BLOCK_INPUT_PROMPTS, L"FEATURE_BLOCK_INPUT_PROMPTS"},
        {FEATURE_PROTOCOL_LOCKDOWN, L"FEATURE_PROTOCOL_LOCKDOWN"},
    };
    for (const auto& f : features) {
      HRESULT hr = ::CoInternetSetFeatureEnabled(f.feature, SET_FEATURE_ON_PROCESS, TRUE);
      if (FAILED(hr)) LOG_ERROR(std::wstring(L"browser lockdown not set: ") + f.name, kOp);
    }
    SetDocumentMode();
    return true;
  }();
  (void)done;
}
