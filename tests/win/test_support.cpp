#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "base/unique_handle.h"
#include "base/utf8.h"

namespace testing_support {

std::string ReadFileBytes(const std::wstring& path, unsigned long long from) {
  tov::UniqueHandleK file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(from);
  SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN);
  std::string data;
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) data.append(buffer, n);
  return data;
}

void WriteTestFile(const std::wstring& path, const std::string& bytes, DWORD attributes) {
  tov::UniqueHandleK file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
  const DWORD opened = GetLastError();
  ASSERT_TRUE(file.valid()) << tov::WideToUtf8(path) << " " << opened;
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                        nullptr))
      << tov::WideToUtf8(path) << " " << GetLastError();
}

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring TempPath(const std::wstring& name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name;
}

std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs, int intervalMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    // One last look after the time is up: a slow poll must not lose the
    // answer it was about to see.
    if (std::chrono::steady_clock::now() > end) return done();
    Sleep(static_cast<DWORD>(intervalMs));
  }
  return true;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs,
               const std::function<void(const MSG&)>& watch) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (watch) watch(msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20)),
                              QS_ALLINPUT);
  }
}

tov::UniqueHandleK StartTestChild(const std::wstring& exe, const std::wstring& filter) {
  std::wstring command = L"\"" + exe + L"\" --gtest_filter=" + filter;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return {};
  CloseHandle(process.hThread);
  return tov::UniqueHandleK(process.hProcess);
}

}  // namespace testing_support
