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
  constexpr const char* kOp = "CWebCDlg::LaunchGame";
  WebLogger& reporter = GetWebLogger();
  reporter.LogEvent(ReportGameStart);
  reporter.Log(L"game start");

  const AppState& app = GetAppState();
  std::wstring workDir = app.clientDir + L"\\" + kGameFolder;
  std::wstring exePath = workDir + L"\\" + kGameProcessName;
  LOG_INFO(exePath, kOp);
  LOG_INFO(workDir, kOp);

  std::wstring luaPath = ReadLuaPathOverride();
  std::optional<std::wstring> commandLine = tov::ComposeGameCommandLine(
      ::GetCommandLineW(), m_strLoginParams, CGameRemoteConfig::Instance().GetCustomParameters(),
      luaPath);

  m_gameProcess = PROCESS_INFORMATION{};
  bool started = false;
  if (!commandLine) {
    // Cut to fit, the login data the game gets would be wrong; the start
    // counts as failed instead.
    LOG_ERROR(L"command line too long", kOp);
  } else {
    LOG_INFO(*commandLine, kOp);
    LOG_INFO(L"LaunchGame", kOp);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // CreateProcessW may write into the command line: it gets its own copy.
    std::wstring writable = *commandLine;
    // Ending the process in the middle of the creation would leave the game
    // created but never resumed: it would do nothing, yet count as the
    // running game and refuse every later start of the launcher.
    tov::ExitBarrier::Pass pass = tov::ProcessExitBarrier().Enter();
    if (!pass) {
      LOG_ERROR(L"launcher closing, game not started", kOp);
    } else {
      started = ::CreateProcessW(exePath.c_str(), writable.data(), nullptr, nullptr, FALSE,
                                 CREATE_NEW_CONSOLE, nullptr, workDir.c_str(), &startup,
                                 &m_gameProcess) != FALSE;
      // Why the system refused is what an operator needs to know first.
      if (!started) LOG_ERROR(L"CreateProcess error " + std::to_wstring(::GetLastError()), kOp);
    }
  }

  if (!started) {
    reporter.Log(L"game start failed");
    LOG_INFO(L"LaunchGame Faild", kOp);
    return;
  }
  // The launcher neither waits for the game nor watches it.
  tov::UniqueHandleK process(m_gameProcess.hProcess);
  tov::UniqueHandleK thread(m_gameProcess.hThread);
  reporter.Log(L"game start success");
  LOG_INFO(L"LaunchGame Succ", kOp);

  m_windows.HideLauncher();
  if (app.firstInstall.load()) {
    // A freshly installed game opens in a small window; give it a second to
    // open one and show that maximised.
    ::Sleep(1000);
    ProcessWindowSearch search;
    search.processId = m_gameProcess.dwProcessId;
    ::EnumWindows(&FindProcessWindow, reinterpret_cast<LPARAM>(&search));
    if (search.window) ::ShowWindowAsync(search.window, SW_MAXIMIZE);
  }
  m_windows.Cancel();
}
