// The application object: the launcher's life from start-up to exit.
#pragma once
#include <windows.h>

#include <string>

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

 private:
  HANDLE m_hInstanceMutex = nullptr;
  LPTOP_LEVEL_EXCEPTION_FILTER m_pfnPrevFilter = nullptr;
  std::wstring m_strCmdTail;
};

// The one application object of the process.
CWebApp& GetWebApp();

// The base name of the running executable ("TovLauncher", "Brakmoor").
std::wstring ModuleBaseName();
