#include "app/web_app.h"

#include <io.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdlib>

#include "base/app_state.h"
#include "base/com_ptr.h"
#include "base/exit_barrier.h"
#include "app/crash_dump.h"
#include "app/delete_tree_win.h"
#include "app/uninstall_rules.h"
#include "base/launcher_log.h"
#include "base/launcher_settings.h"
#include "app/startup_rules.h"
#include "base/message_box.h"
#include "base/path_rules.h"
#include "base/shell_folders_win.h"
#include "base/text_win.h"
#include "base/unique_handle.h"
#include "provisioning/desktop_integration.h"
#include "telemetry/web_logger.h"
#include "ui/browser_host_win.h"
#include "ui/common_controls_win.h"
#include "ui/main_window.h"
#include "ui/web_browser_site_win.h"
#include "ui/window_picture_win.h"

namespace {

bool PathExists(const std::wstring& path) { return _waccess(path.c_str(), 0) == 0; }

// Ends the process the way a run that never reaches ExitInstance ends: static
// objects are destroyed (the log is closed), nothing else is undone.
// Before a box of start-up: the common controls and the machine profile
// behind the start reports finish loading first. Under Wine, libraries
// loaded on another thread while this one made a window (a box, the panel)
// hung the process for good, one start in a few hundred on a busy machine;
// the reports then also leave before the box, not behind it.
void SettleBeforeBox() {
  WaitForCommonControls();
  GetWebLogger().FinishWaitingReports();
}

// The end of a run waits, bounded, for the steps that must not be cut
// (see ExitBarrier), and refuses those not yet begun.
void CloseExitBarrier() {
  if (!tov::ProcessExitBarrier().Close(std::chrono::seconds(10))) {
    LOG_ERROR(L"a step still running at exit", "CWebApp::InitInstance");
  }
}

// The start reports gather the machine profile behind a pass of the
// barrier: they go out first. Closed first, the barrier refuses a profile
// thread that has not begun yet (a window closed at once on a busy machine)
// and the reports and their lines in the log are lost.
void FinishRun() {
  WaitForCommonControls();
  GetWebLogger().FinishWaitingReports();
  CloseExitBarrier();
}

[[noreturn]] void EndProcess(ExitCode code) {
  FinishRun();
  std::exit(static_cast<int>(code));
}

}  // namespace

std::wstring ModuleBaseName() {
  std::wstring name = tov::FileNameOf(ModulePath());
  size_t dot = name.find_last_of(L'.');
  return dot == std::wstring::npos ? name : name.substr(0, dot);
}

CWebApp& GetWebApp() {
  static CWebApp* app = new CWebApp();
  return *app;
}

CWebApp::CWebApp() = default;

CWebApp::~CWebApp() = default;

int CWebApp::Run(const LauncherVariant& variant) {
  UseProvisioningSettings(variant.provisioning);
  UseBrowserHost(variant.browserHost);
  GetAppState().appName = ModuleBaseName();
  m_strCmdTail = tov::CommandLineTail(::GetCommandLineW());
  if (!InitApplication()) return static_cast<int>(ExitCode::DataDirectoryFailed);
  InitInstance();
  return ExitInstance();
}

BOOL CWebApp::InitApplication() {
  AppState& app = GetAppState();
  app.installRoot = tov::ChooseInstallRoot(tov::CurrentDirectory(), PathExists(L"C:\\"),
                                           PathExists(L"D:\\"), LauncherSettings::ChannelName);
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
  // The machine profile behind every report takes a while to read (WMI);
  // it is read once the window shows, and the order of the reports and of
  // the log stays as it is.
  reporter.GatherProfileLater();
  reporter.LogEvent(ReportCreate);
  reporter.Log(L"launcher start");

  if (createError != 0) {
    std::wstring text = L"创建数据目录失败,错误id:" + std::to_wstring(static_cast<int>(createError));
    reporter.Log(text);
    SettleBeforeBox();
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

void CWebApp::InitInstance() {
  // The window's picture and the common controls are made ready on threads
  // of their own while start-up goes on; the picture first, as the loading
  // of the controls' library holds the loader, which a new thread needs.
  // Not earlier than here, after the telemetry window has started the user
  // interface driver: in a trial that loaded the library while the driver
  // started, 2 runs of 12 hung before their window. An uninstall run shows
  // no main window.
  if (!tov::IsUninstallTail(m_strCmdTail)) PrepareMainWindowPicture();
  StartCommonControls();
  // Restart only: the system may start the launcher again after a crash or
  // a hang; nothing is recovered.
  ::RegisterApplicationRestart(nullptr, 0);
  tov::ComScope com;
  m_pScriptObject = std::make_unique<CImpIDispatch>();
  SetBrowserExternal(m_pScriptObject.get());

  if (tov::IsUninstallTail(m_strCmdTail)) {
    UnInstall();
    EndProcess(ExitCode::Ok);
  }

  // Held as long as the process runs: the next start sees this one.
  m_instanceMutex.reset(::CreateMutexW(nullptr, FALSE, kInstanceMutexName));
  if (::GetLastError() == ERROR_ALREADY_EXISTS || IsGameRunning()) {
    SettleBeforeBox();
    tov::ShowMessageBox(nullptr, L"游戏已启动", LauncherSettings::GameTitle, MB_ICONINFORMATION);
    EndProcess(ExitCode::Ok);
  }

  LOG_INFO(L"Laucher Start", "CWebApp::InitInstance");
  GetWebLogger().ExpectWindow();

  {
    CWebDlg dlg(m_mainWindowView);
    dlg.DoModal();
  }
  // The window may close while the worker is in a step the process's end
  // must not cut.
  FinishRun();
  // Whatever references the browser still counts: the object goes with COM.
  SetBrowserExternal(nullptr);
  m_pScriptObject.reset();
}

int CWebApp::ExitInstance() {
  ::SetErrorMode(0);
  ::SetUnhandledExceptionFilter(m_pfnPrevFilter);
  return static_cast<int>(ExitCode::Ok);
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
  constexpr const char* kOp = "CWebApp::UnInstall";
  const AppState& app = GetAppState();
  const std::wstring title = LauncherSettings::GameTitle;

  // Held until the uninstall returns, so no launcher starts meanwhile.
  tov::UniqueHandleK mutex(::CreateMutexW(nullptr, FALSE, kInstanceMutexName));
  const bool running = ::GetLastError() == ERROR_ALREADY_EXISTS || IsGameRunning();
  SettleBeforeBox();
  if (running) {
    tov::ShowMessageBox(nullptr, L"游戏正在运行,请关闭游戏后重试", title, MB_ICONINFORMATION);
    return;
  }
  if (tov::AppMessageBox(L"确定要卸载吗?", MB_YESNO | MB_ICONQUESTION) != IDYES) return;

  GetWebLogger().Log(L"game uninstall start");
  LOG_INFO(L"Begin uninstall", kOp);
  LOG_INFO(app.clientDir, kOp);
  auto failed = [&] {
    LOG_ERROR(L"unistall error", kOp);
    tov::ShowMessageBox(nullptr, L"卸载失败,请关闭游戏后重试.", title, MB_ICONINFORMATION);
  };
  if (PathExists(app.clientDir) && !tov::DeleteNotNullDir(app.clientDir)) {
    failed();
    return;
  }

  // Without a shell folder there is nothing of ours to remove; a path built
  // on an empty folder would point at the root of the current drive.
  std::wstring startMenuRoot = tov::ShellFolder(CSIDL_STARTMENU);
  std::wstring startMenu = tov::StartMenuFolder(startMenuRoot, LauncherSettings::ChannelName);
  LOG_INFO(startMenu, kOp);
  if (!startMenuRoot.empty() && PathExists(startMenu) && !tov::DeleteNotNullDir(startMenu)) {
    failed();
    return;
  }

  std::wstring desktopRoot = tov::ShellFolder(CSIDL_DESKTOPDIRECTORY);
  std::wstring desktopLink = tov::LinkPath(desktopRoot, title);
  LOG_INFO(desktopLink, kOp);
  if (!desktopRoot.empty() && PathExists(desktopLink) && _wremove(desktopLink.c_str()) != 0) failed();

  LONG lret = ::RegDeleteKeyW(HKEY_CURRENT_USER, tov::kUninstallKeyPath);
  LOG_INFO(L"lret:" + std::to_wstring(lret), "CGameRemoteConfig::RemoveRegisties");
  LOG_ERROR(L"unistall succ", kOp);
  // The log goes with the folder: the start reports' lines first.
  GetWebLogger().FinishWaitingReports();
  GetLauncherLog().CloseFile();

  if (auto parameters = tov::RemovalCommandParameters(app.installRoot)) {
    std::wstring workingDir = tov::RemovalWorkingDirectory(app.installRoot);
    ::ShellExecuteW(nullptr, L"open", L"cmd.exe", parameters->c_str(),
                    workingDir.empty() ? nullptr : workingDir.c_str(), SW_HIDE);
  }
  GetWebLogger().Log(L"game unintall success");
}
