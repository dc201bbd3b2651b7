#include "app/web_app.h"

#include <commctrl.h>
#include <io.h>
#include <objbase.h>
#include <tlhelp32.h>

#include <cstdlib>

#include "app/app_state.h"
#include "app/crash_dump.h"
#include "app/launcher_log.h"
#include "app/launcher_settings.h"
#include "app/startup_rules.h"
#include "platform/message_box.h"
#include "platform/unique_handle.h"
#include "telemetry/web_logger.h"
#include "ui/main_window.h"

namespace {

bool PathExists(const std::wstring& path) { return _waccess(path.c_str(), 0) == 0; }

// Ends the process the way a run that never reaches ExitInstance ends: static
// objects are destroyed (the log is closed), nothing else is undone.
[[noreturn]] void EndProcess(int code) { std::exit(code); }

}  // namespace

std::wstring ModuleBaseName() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring full(path, n);
  size_t slash = full.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? full : full.substr(slash + 1);
  size_t dot = name.find_last_of(L'.');
  return dot == std::wstring::npos ? name : name.substr(0, dot);
}

CWebApp& GetWebApp() {
  static CWebApp* app = new CWebApp();
  return *app;
}

CWebApp::CWebApp() = default;

CWebApp::~CWebApp() {
  if (m_hInstanceMutex) ::CloseHandle(m_hInstanceMutex);
}

int CWebApp::Run() {
  GetAppState().appName = ModuleBaseName();
  m_strCmdTail = tov::CommandLineTail(::GetCommandLineW());
  if (!InitApplication()) return -1;
  InitInstance();
  return ExitInstance();
}

BOOL CWebApp::InitApplication() {
  AppState& app = GetAppState();
  wchar_t cwd[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, cwd);
  app.installRoot = tov::ChooseInstallRoot(cwd, PathExists(L"C:\\"), PathExists(L"D:\\"),
                                           LauncherSettings::ChannelName);
  app.clientDir = app.installRoot + L"\\client";

  DWORD createError = 0;
  if (!PathExists(app.clientDir)) {
    if (!PathExists(app.installRoot) && !::CreateDirectoryW(app.installRoot.c_str(), nullptr)) {
      createError = ::GetLastError();
    }
    if (createError == 0 && !::CreateDirectoryW(app.clientDir.c_str(), nullptr)) {
      createError = ::GetLastError();
    }
  }

  WebLogger& reporter = GetWebLogger();
  reporter.LogEvent(ReportCreate);
  reporter.Log(L"launcher start");

  if (createError != 0) {
    std::wstring text = L"创建数据目录失败,错误id:" + std::to_wstring(static_cast<int>(createError));
    reporter.Log(text);
    tov::AppMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }

  app.dumpPathBase = app.installRoot + L"\\" + app.appName;
  if (!m_pfnPrevFilter) {
    PrepareCrashDumps(app.dumpPathBase.c_str());
    ::SetErrorMode(SEM_NOGPFAULTERRORBOX);
    m_pfnPrevFilter = ::SetUnhandledExceptionFilter(WriteCrashDump);
  }

  LOG_INFO(app.installRoot, "CWebApp::InitApplication");
  LOG_INFO(app.clientDir, "CWebApp::InitApplication");
  return TRUE;
}

BOOL CWebApp::InitInstance() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&icc);
  // Restart only: the system may start the launcher again after a crash or
  // a hang; nothing is recovered.
  ::RegisterApplicationRestart(nullptr, 0);
  ::CoInitialize(nullptr);

  if (tov::IsUninstallTail(m_strCmdTail)) {
    UnInstall();
    if (m_hInstanceMutex) {
      ::CloseHandle(m_hInstanceMutex);
      m_hInstanceMutex = nullptr;
    }
    EndProcess(0);
  }

  m_hInstanceMutex = ::CreateMutexW(nullptr, FALSE, L"TovLauncher");
  if (::GetLastError() == ERROR_ALREADY_EXISTS || IsGameRunning()) {
    tov::ShowMessageBox(nullptr, L"游戏已启动", LauncherSettings::GameTitle, MB_ICONINFORMATION);
    EndProcess(0);
  }

  LOG_INFO(L"Laucher Start", "CWebApp::InitInstance");

  {
    CWebDlg dlg;
    dlg.DoModal();
  }
  return FALSE;
}

int CWebApp::ExitInstance() {
  ::CoUninitialize();
  ::SetErrorMode(0);
  ::SetUnhandledExceptionFilter(m_pfnPrevFilter);
  return 0;
}

bool CWebApp::IsGameRunning() {
  // Processes only: the heap and module lists of a full snapshot are slow to
  // take and can make the snapshot fail for no reason that matters here.
  tov::UniqueHandleK snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) {
    LOG_ERROR(L"get snapshot error", "CWebApp::IsGameRunning");
    return true;
  }
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    if (tov::SameFileName(entry.szExeFile, kGameProcessName)) return true;
  }
  return false;
}

void CWebApp::UnInstall() {
  // The uninstaller proper lands with the desktop integration; until then an
  // uninstall run removes nothing and ends quietly.
}
