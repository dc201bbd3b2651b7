// What ties this build to one game on one channel. Compile-time constants,
// so they are readable from any thread before any start-up code has run.
// Their values come from the channel profile the build was configured with.
#pragma once
#include "build_config.h"

struct LauncherSettings {
  static constexpr const wchar_t* LauncherVersion = TOV_LAUNCHER_VERSION;
  static constexpr const wchar_t* GameTitle = TOV_GAME_TITLE;
  static constexpr const wchar_t* ChannelName = TOV_CHANNEL_NAME;
  // All three share the build's server base; only it changes per deployment.
  static constexpr const wchar_t* ConfigUrl = TOV_SERVER_BASE TOV_CONFIG_TARGET;
  static constexpr const wchar_t* EventUrl = TOV_SERVER_BASE TOV_EVENT_PATH;
  static constexpr const wchar_t* ErrorUrl = TOV_SERVER_BASE TOV_ERROR_PATH;
  static constexpr const wchar_t* ScriptBridgeName = L"JavascriptToCsharp";
  // The operator's signing keys (hex of the uncompressed P-256 points,
  // ";"-separated), or empty: a build option like the server base.
  static constexpr const char* PackagePublicKey = TOV_PACKAGE_PUBLIC_KEY;
};

// The executable file name of the game client; start-up and the uninstaller
// refuse to run while a process of this name exists.
inline constexpr const wchar_t* kGameProcessName = TOV_GAME_EXECUTABLE;
// The folder below ClientDir that holds the game client's executable.
inline constexpr const wchar_t* kGameFolder = TOV_GAME_FOLDER;
// Name of the per-user uninstall entry below ...\CurrentVersion\Uninstall.
inline constexpr const wchar_t* kUninstallKeyName = TOV_REGISTRY_KEY_NAME;
// The single-instance mutex, in the session's local namespace.
inline constexpr const wchar_t* kInstanceMutexName = TOV_MUTEX_NAME;
