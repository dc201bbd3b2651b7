// Entry point of TovLauncherTest.exe, the launcher as the end-to-end tests
// run it: transfer limits short enough to wait out in a test, a
// configuration address that names the channel twice, and the scripted page.
#include <windows.h>

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
  return GetWebApp().Run(variant);
}
