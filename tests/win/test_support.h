// What the Windows tests do around the code under test: read back the files
// it wrote, lay out the files it should find, start a test executable again
// as a child, and wait for what another thread or process does.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "base/unique_handle.h"

namespace testing_support {

// Window class of the demo game client (tools/democlient), whose window the
// tests find and close.
inline constexpr const wchar_t* kDemoGameClass = L"TovDemoGameClient";

// The file's bytes from `from` on; empty when it cannot be opened. Every
// sharing mode is offered, so a file the code under test still holds open
// (a log) reads too.
std::string ReadFileBytes(const std::wstring& path, unsigned long long from = 0);

// Creates or truncates `path` with these bytes; a failure fails the
// calling test with the path and the system's error code.
void WriteTestFile(const std::wstring& path, const std::string& bytes,
                   DWORD attributes = FILE_ATTRIBUTE_NORMAL);

bool PathExists(const std::wstring& path);

// `name` in the user's temporary folder.
std::wstring TempPath(const std::wstring& name);

// The running executable's own path.
std::wstring ModulePath();

// Asks `done` every `intervalMs` until it holds or `timeoutMs` is over;
// whether it held.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000, int intervalMs = 10);

// Runs this thread's message loop until `done` holds or the time is up;
// `watch` sees every message before it is dispatched.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs,
               const std::function<void(const MSG&)>& watch = nullptr);

// Starts `exe`, a test executable or a copy of one, running only the tests
// `filter` names; the process's handle, invalid when it did not start.
tov::UniqueHandleK StartTestChild(const std::wstring& exe, const std::wstring& filter);

}  // namespace testing_support
