// The application object: the launcher's life from start-up to exit.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "base/unique_handle.h"
#include "provisioning/provisioning_settings.h"
#include "ui/main_window_view.h"
#include "web/script_bridge.h"

class BrowserHost;

// How the launcher's process ends. Whatever started it reads these values:
// they must not change; a new one is added at the end.
enum class ExitCode : int {
  Ok = 0,                      // every ordinary end, a refused second start included
  DataDirectoryFailed = -1,    // the data directory could not be made
};

// What a build of the launcher brings to its run. The release executable
// runs with the defaults; the test build's entry point fills in its own.
struct LauncherVariant {
  ProvisioningSettings provisioning = LauncherProvisioningSettings();
  BrowserHost* browserHost = nullptr;  // null: the launcher's own
};

class CWebApp {
 public:
  CWebApp();
  ~CWebApp();
  CWebApp(const CWebApp&) = delete;
  CWebApp& operator=(const CWebApp&) = delete;

  // Runs the whole life: returns the process exit code.
  int Run(const LauncherVariant& variant);

  BOOL InitApplication();
  // Everything from the script object to the main window's end, under COM;
  // ends the process itself for an uninstall or a second start.
  void InitInstance();
  int ExitInstance();
  bool IsGameRunning();
  void UnInstall();

  const std::wstring& CommandLineTail() const { return m_strCmdTail; }
  // The object page script reaches as window.external; exists within
  // InitInstance, while COM is up.
  CImpIDispatch* ScriptObject() const { return m_pScriptObject.get(); }

 private:
  tov::UniqueHandleK m_instanceMutex;
  LPTOP_LEVEL_EXCEPTION_FILTER m_pfnPrevFilter = nullptr;
  std::wstring m_strCmdTail;
  std::unique_ptr<CImpIDispatch> m_pScriptObject;
  // The main window as the worker and the game launch reach it, with the
  // launch state; as long-lived as the application object, which is never
  // destroyed, so a worker still running at exit finds it.
  MainWindowView m_mainWindowView;
};

// The one application object of the process.
CWebApp& GetWebApp();

// The base name of the running executable: the downloaded launcher's name,
// or the game title for the installed copy.
std::wstring ModuleBaseName();
