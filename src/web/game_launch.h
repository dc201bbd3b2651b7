// The game-launch state: the page's script calls, the login result, the
// ready state and the start of the game client. It lives as long as the
// process, because both the user-interface thread and the provisioning
// worker call it and either may still do so while the windows go away; it
// reaches the windows only through LauncherWindowCalls.
#pragma once
#include <windows.h>

#include <string>

#include "web/login_launch.h"

// What the launch does to the launcher's windows. Both calls do nothing
// (Cancel still logs) once the windows are gone.
class LauncherWindowCalls {
 public:
  // Hides the main window, and the panel with it.
  virtual void HideLauncher() = 0;
  // Ends the main window's modal run with IDCANCEL.
  virtual void Cancel() = 0;
  // The main window, to own the boxes the launch shows so that the
  // launcher cannot be clicked beneath them; null once it is gone. On the
  // user-interface thread.
  virtual HWND BoxOwner() = 0;

 protected:
  ~LauncherWindowCalls() = default;
};

class GameLaunch {
 public:
  explicit GameLaunch(LauncherWindowCalls& windows) : m_windows(windows) {}
  GameLaunch(const GameLaunch&) = delete;
  GameLaunch& operator=(const GameLaunch&) = delete;

  // Script calls from the page, on the user-interface thread: logs the call
  // and runs the operation it names; returns the text the page gets.
  std::wstring JavascriptToCPLUSPLUS(const std::wstring& method, const std::wstring& params);
  // The page's "LoginResult": starts the game when the client is ready.
  void OnLoginResult(const std::wstring& params);
  // The installed client is current: called once by the provisioning worker
  // on its own thread. Starts the game there when the login came first.
  void SetReady();
  // Starts the game client with the login parameters; on success hides the
  // launcher and ends its run. On whichever thread completed the gate.
  void LaunchGame();

 private:
  LauncherWindowCalls& m_windows;
  // The login and ready flags: set and tested under one lock so that the
  // game starts exactly once.
  tov::LaunchGate m_launchGate;
  // Written before the login passes the gate, read by LaunchGame after it:
  // the gate's lock orders the two.
  std::wstring m_strLoginParams;
};
