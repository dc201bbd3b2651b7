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

// A local override for game developers: the first line of luapath.txt names
// a script directory that the game is told about with "--luapath=<dir>"
// after the usual arguments. The file may have been put there by anybody
// (a web page saves into Downloads, the launcher's first working
// directory), so only a plain local directory is taken:
//
// The first line of `fileText` when it is an absolute path on a drive
// letter ("D:\dir", "D:/dir"); empty for anything else, a UNC or device
// path ("\\host\share", "\\?\..."), a drive-relative "D:dir", or a line
// holding a quote or a control character. Whether the drive is local and
// the directory exists is for the caller to ask the system.
std::wstring LuaPathCandidate(const std::wstring& fileText);

// " \"--luapath=<directory>\"": always quoted, so no text of the file becomes
// an argument of its own; backslashes before the closing quote are doubled
// so that they do not escape it.
std::wstring LuaPathArgument(const std::wstring& directory);

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
