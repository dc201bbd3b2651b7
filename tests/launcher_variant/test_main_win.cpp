// Entry point of TovLauncherTest.exe, the launcher as the end-to-end tests
// run it: transfer limits and retry pauses short enough to wait out in a
// test, a configuration address that names the channel twice, the scripted
// page; when TOV_TEST_FREE_BYTES is set, that many bytes free on every volume,
// of that size too (a full disk is hard to come by under Wine); with TOV_PACKAGE_PUBLIC_KEY, a
// package signing key of the test's own making.
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>

#include "app/web_app.h"
#include "base/system_libraries_win.h"
#include "build_config.h"
#include "scripted_browser_host.h"
#include "web/page_guard_win.h"
#include "web/page_rules.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  tov::KeepLibrarySearchInSystemDirectory();
  LauncherVariant variant;
  // The release address with its channel made a placeholder again.
  variant.provisioning.configUrlTemplate = TOV_SERVER_BASE TOV_TEST_CONFIG_TEMPLATE;
  variant.provisioning.limits = TransferLimits{5, 2, 30};
  // The retry schedule in twentieths: a test of six attempts waits about
  // 1.5 s, and a Retry-After of 20 s becomes 1 s.
  variant.provisioning.retry.unitMillis = 50;
  variant.browserHost = &ScriptedBrowserHost();
  wchar_t freeBytes[32] = {};
  DWORD n = ::GetEnvironmentVariableW(L"TOV_TEST_FREE_BYTES", freeBytes, 32);
  if (n > 0 && n < 32) {
    uint64_t free = std::wcstoull(freeBytes, nullptr, 10);
    variant.provisioning.freeSpace = [free](const std::wstring&, uint64_t* out, uint64_t* volume) {
      *out = free;
      *volume = free;
      return true;
    };
  }
  // Hex of the uncompressed points, ";"-separated, as the build option holds
  // them; the tests make key pairs for each run instead of building with them.
  wchar_t key[1024] = {};
  DWORD length = ::GetEnvironmentVariableW(L"TOV_PACKAGE_PUBLIC_KEY", key, 1024);
  if (length > 0 && length < 1024) {
    for (DWORD i = 0; i < length; ++i) variant.provisioning.packagePublicKey += static_cast<char>(key[i]);
  }
  wchar_t hosts[512] = {};
  DWORD hostsLength = ::GetEnvironmentVariableW(L"TOV_TEST_PAGE_HOSTS", hosts, 512);
  if (hostsLength > 0 && hostsLength < 512) UseKeyedPageHosts(tov::AllowedPageHosts(L"", hosts));
  return GetWebApp().Run(variant);
}
