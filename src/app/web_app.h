// The application object: the launcher's life from start-up to exit.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "web/script_bridge.h"

class CWebApp {
 public:
  CWebApp();
  ~CWebApp();
  CWebApp(const CWebApp&) = delete;
  CWebApp& operator=(const CWebApp&) = delete;

  // Runs the whole life: returns the process exit code.
  int Run();

  BOOL InitApplication();
  BOOL InitInstance();
  int ExitInstance();
  bool IsGameRunning();
  void UnInstall();

  const std::wstring& CommandLineTail() const { return m_strCmdTail; }
  // The object page script reaches as window.external; exists from
  // InitInstance (once COM is up) to ExitInstance.
  CImpIDispatch* ScriptObject() const { return m_pScriptObject.get(); }

 private:
  HANDLE m_hInstanceMutex = nullptr;
  LPTOP_LEVEL_EXCEPTION_FILTER m_pfnPrevFilter = nullptr;
  std::wstring m_strCmdTail;
  std::unique_ptr<CImpIDispatch> m_pScriptObject;
};

// The one application object of the process.
CWebApp& GetWebApp();

// The base name of the running executable ("TovLauncher", "Brakmoor").
std::wstring ModuleBaseName();
