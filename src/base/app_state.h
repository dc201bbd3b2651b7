// Process-wide values shared by the subsystems. They are written on the
// user-interface thread during start-up, before any other thread reads them.
#pragma once
#include <atomic>
#include <string>

struct AppState {
  std::wstring appName;       // running executable's base name
  std::wstring installRoot;   // e.g. C:\bm-<channel>
  std::wstring clientDir;     // InstallRoot\client
  std::wstring dumpPathBase;  // InstallRoot\AppName
  std::atomic<int> firstInstall{0};
};

// The one instance; it outlives static destruction so threads still running
// at exit can read it.
AppState& GetAppState();
