// What ties this build to one game on one channel. Compile-time constants,
// so they are readable from any thread before any start-up code has run.
#pragma once
#include "build_config.h"

struct LauncherSettings {
  static constexpr const wchar_t* LauncherVersion = L"0.0.0.2";
  static constexpr const wchar_t* GameTitle = L"Brakmoor";
  static constexpr const wchar_t* ChannelName = L"webvarn";
  // All three share the build's server base; only it changes per deployment.
  static constexpr const wchar_t* ConfigUrl =
      TOV_SERVER_BASE L"/api/qelto/ditches/webvarn/client_config_webvarn.php?lm=bm_gw_zerizaz";
  static constexpr const wchar_t* EventUrl = TOV_SERVER_BASE L"/api/laucher_info.php";
  static constexpr const wchar_t* ErrorUrl = TOV_SERVER_BASE L"/api/laucher_error.php";
  static constexpr const wchar_t* ScriptBridgeName = L"JavascriptToCsharp";
  // The operator's package signing key (hex of the uncompressed P-256
  // point), or empty: a build option like the server base.
  static constexpr const char* PackagePublicKey = TOV_PACKAGE_PUBLIC_KEY;
};

// The executable file name of the game client; start-up and the uninstaller
// refuse to run while a process of this name exists.
inline constexpr const wchar_t* kGameProcessName = L"bm.exe";
