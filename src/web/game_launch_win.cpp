#include "web/game_launch.h"

#include "base/app_state.h"
#include "base/exit_barrier.h"
#include "base/launcher_log.h"
#include "base/launcher_settings.h"
#include "base/message_box.h"
#include "base/text_win.h"
#include "base/unique_handle.h"
#include "provisioning/game_remote_config.h"
#include "telemetry/web_logger.h"
#include "web/game_start_win.h"

namespace {

constexpr const char* kLaunchOp = "CWebCDlg::LaunchGame";

// How a start of the game ended; every failure is logged where it happened.
enum class [[nodiscard]] LaunchResult { Started, CommandLineTooLong, LauncherClosing, CreateProcessFailed };

struct GameProcess {
  tov::UniqueHandleK process;
  tov::UniqueHandleK thread;
  DWORD id = 0;
};

LaunchResult CreateGameProcess(const std::wstring& exePath, const std::wstring& workDir,
                               const std::wstring& commandLine, GameProcess* game) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  // CreateProcessW may write into the command line: it gets its own copy.
  std::wstring writable = commandLine;
  // Ending the process in the middle of the creation would leave the game
  // created but never resumed: it would do nothing, yet count as the
  // running game and refuse every later start of the launcher.
  tov::ExitBarrier::Pass pass = tov::ProcessExitBarrier().Enter();
  if (!pass) {
    LOG_ERROR(L"launcher closing, game not started", kLaunchOp);
    return LaunchResult::LauncherClosing;
  }
  PROCESS_INFORMATION created{};
  if (!::CreateProcessW(exePath.c_str(), writable.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        workDir.c_str(), &startup, &created)) {
    // Why the system refused is what an operator needs to know first.
    LOG_ERROR(L"CreateProcess error " + std::to_wstring(::GetLastError()), kLaunchOp);
    return LaunchResult::CreateProcessFailed;
  }
  game->process.reset(created.hProcess);
  game->thread.reset(created.hThread);
  game->id = created.dwProcessId;
  return LaunchResult::Started;
}

// Starts the installed game with the command line composed for this login.
LaunchResult StartGame(const std::wstring& loginParams, GameProcess* game) {
  std::wstring workDir = GetAppState().clientDir + L"\\" + kGameFolder;
  std::wstring exePath = workDir + L"\\" + kGameProcessName;
  LOG_INFO(exePath, kLaunchOp);
  LOG_INFO(workDir, kLaunchOp);

  std::wstring luaPath = ReadLuaPathOverride();
  std::optional<std::wstring> commandLine = tov::ComposeGameCommandLine(
      ::GetCommandLineW(), loginParams, CGameRemoteConfig::Instance().GetCustomParameters(), luaPath);
  if (!commandLine) {
    // Cut to fit, the login data the game gets would be wrong; the start
    // counts as failed instead.
    LOG_ERROR(L"command line too long", kLaunchOp);
    return LaunchResult::CommandLineTooLong;
  }
  LOG_INFO(*commandLine, kLaunchOp);
  LOG_INFO(L"LaunchGame", kLaunchOp);
  return CreateGameProcess(exePath, workDir, *commandLine, game);
}

// A freshly installed game opens in a small window; give it a second to
// open one and show that maximised.
void MaximiseGameWindow(DWORD processId) {
  ::Sleep(1000);
  ProcessWindowSearch search;
  search.processId = processId;
  ::EnumWindows(&FindProcessWindow, reinterpret_cast<LPARAM>(&search));
  if (search.window) ::ShowWindowAsync(search.window, SW_MAXIMIZE);
}

}  // namespace

std::wstring GameLaunch::JavascriptToCPLUSPLUS(const std::wstring& method, const std::wstring& params) {
  LOG_INFO(tov::ScriptCallLogText(method, params), "CWebCDlg::JavascriptToCPLUSPLUS");
  if (method == L"LoginResult") {
    OnLoginResult(params);
    return L"";
  }
  if (method == L"GetCommandLine") {
    return ModulePath();
  }
  return L"";
}

void GameLaunch::OnLoginResult(const std::wstring& params) {
  constexpr const char* kOp = "CWebCDlg::OnLoginResult";
  if (m_launchGate.LoggedIn()) {
    LOG_INFO(L"already login", kOp);
    return;
  }
  tov::LoginResult result = tov::ParseLoginResult(params);
  if (result.kind == tov::LoginResult::Malformed) {
    LOG_INFO(L"paramters is error!", kOp);
    return;
  }
  if (result.kind == tov::LoginResult::Refused) {
    // Nothing changes: the page may report a later login anew.
    tov::AppMessageBox(L"登录验证未通过", MB_OK | MB_ICONEXCLAMATION, m_windows.BoxOwner());
    return;
  }
  LOG_INFO(L"is logic suc!", kOp);
  // Only the user-interface thread writes this, and only before the gate
  // records the login; a launch on the worker reads it after the gate.
  m_strLoginParams = result.params;
  if (m_launchGate.LoginSucceeded()) LaunchGame();
}

void GameLaunch::SetReady() {
  // The decision is taken under the gate's lock; the launch runs outside it,
  // because it waits for the user-interface thread (hiding the window,
  // ending the run) and that thread may be waiting for the lock.
  bool launch = m_launchGate.BecameReady();
  LOG_INFO(L"is ready", "CWebCDlg::SetReady");
  if (launch) LaunchGame();
}

void GameLaunch::LaunchGame() {
  WebLogger& reporter = GetWebLogger();
  reporter.LogEvent(ReportGameStart);
  reporter.Log(L"game start");
  // The launcher neither waits for the game nor watches it: the handles
  // close when the launch is done.
  GameProcess game;
  if (StartGame(m_strLoginParams, &game) != LaunchResult::Started) {
    reporter.Log(L"game start failed");
    LOG_INFO(L"LaunchGame Faild", kLaunchOp);
    return;
  }
  reporter.Log(L"game start success");
  LOG_INFO(L"LaunchGame Succ", kLaunchOp);

  m_windows.HideLauncher();
  if (GetAppState().firstInstall.load()) MaximiseGameWindow(game.id);
  m_windows.Cancel();
}
