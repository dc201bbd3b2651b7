// The plain rules behind the login result and the game start.
#pragma once
#include <mutex>
#include <optional>
#include <string>

namespace tov {

struct LoginResult {
  enum Kind { Malformed, Refused, Accepted } kind;
  std::wstring params;  // the login parameters when accepted
};

// "true|<params>[|ignored]": field 0 compared with "true" in any case.
[[nodiscard]] LoginResult ParseLoginResult(const std::wstring& text);

// The game's command line: "<launcher command line> --parameters=<login>
// --plat_extra=<custom>", everything inserted as it is. Empty when the text
// would not fit the 1,024 characters the start allows: a cut command line
// would hand the game wrong login data.
// `extra` is appended as it is (see LuaPathArgument).
[[nodiscard]] std::optional<std::wstring> ComposeGameCommandLine(const std::wstring& launcherCommandLine,
                                                   const std::wstring& loginParams,
                                                   const std::wstring& customParams,
                                                   const std::wstring& extra = L"");

// One argument as the game's command-line splitting gives it back: quoted
// when it holds a blank, a tab or a quote, and then with the backslashes
// before a quote, and those before the closing one, doubled (otherwise a
// directory ending in a backslash escapes the closing quote and the
// argument runs on). An empty text comes back empty.
std::wstring QuoteArgument(const std::wstring& arg);

// A local override for game developers: the first line of luapath.txt names
// a script directory that the game is told about with " --luapath=<dir>"
// after the usual arguments, quoted so that the game reads the directory
// back exactly (a blank, a tab or a trailing backslash included). An empty
// first line adds nothing.
std::wstring LuaPathArgument(const std::wstring& fileText);

// The "method:%s,paramters:%s" line of a script call, cut to the 1,023
// characters its buffer holds.
std::wstring ScriptCallLogText(const std::wstring& method, const std::wstring& params);

// Starts the game exactly once, when both a successful login and the ready
// state have been reached, on the thread of whichever came second. Setting
// one's own flag and testing the other's happen under one lock; the launch
// itself happens outside it.
class LaunchGate {
 public:
  // Both return true when the caller must launch now.
  [[nodiscard]] bool LoginSucceeded();
  [[nodiscard]] bool BecameReady();
  bool LoggedIn();
  bool Ready();

 private:
  std::mutex m_lock;
  bool m_bLoggedIn = false;
  bool m_bReady = false;
  bool m_bLaunched = false;
};

}  // namespace tov
