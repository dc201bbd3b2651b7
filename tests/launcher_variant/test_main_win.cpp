// Entry point of TovLauncherTest.exe, the launcher as the end-to-end tests
// run it: transfer limits short enough to wait out in a test, a
// configuration address that names the channel twice, the scripted page,
// and a package signing key of the test's own making.
#include <windows.h>

#include <string>

#include "app/web_app.h"
#include "base/system_libraries_win.h"
#include "build_config.h"
#include "scripted_browser_host.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  tov::KeepLibrarySearchInSystemDirectory();
  LauncherVariant variant;
  // The release address with its channel made a placeholder again.
  variant.provisioning.configUrlTemplate = TOV_SERVER_BASE TOV_TEST_CONFIG_TEMPLATE;
  variant.provisioning.limits = TransferLimits{5, 2, 30};
  variant.browserHost = &ScriptedBrowserHost();
  // Hex of the uncompressed point, as the build option holds it; the tests
  // make a key pair for each run instead of building with one.
  wchar_t key[256] = {};
  DWORD length = ::GetEnvironmentVariableW(L"TOV_PACKAGE_PUBLIC_KEY", key, 256);
  if (length > 0 && length < 256) {
    for (DWORD i = 0; i < length; ++i) variant.provisioning.packagePublicKey += static_cast<char>(key[i]);
  }
  return GetWebApp().Run(variant);
}
