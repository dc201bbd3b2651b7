// A fault on any thread leaves a minidump named after the time of the fault.
#include <windows.h>
#include <dbghelp.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/crash_dump.h"
#include "base/unique_handle.h"
#include "test_support.h"

namespace {

std::vector<std::wstring> Dumps(const std::wstring& dir, const std::wstring& prefix) {
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW fd;
  tov::UniqueFind find(FindFirstFileW((dir + L"\\" + prefix + L"_*.dmp").c_str(), &fd));
  if (!find) return found;
  do found.push_back(dir + L"\\" + fd.cFileName);
  while (FindNextFileW(find.get(), &fd));
  return found;
}

}  // namespace

// Runs only as the child of the test below: installs the filter the way
// start-up does and faults on a worker thread.
TEST(CrashChild, FaultOnWorkerThread) {
  wchar_t dir[MAX_PATH];
  if (!GetEnvironmentVariableW(L"TOV_CRASH_CHILD", dir, MAX_PATH)) GTEST_SKIP();
  std::wstring base = std::wstring(dir) + L"\\TovLauncher";
  PrepareCrashDumps(base.c_str());
  SetErrorMode(SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(WriteCrashDump);
  std::thread worker([&] {
    std::ofstream(std::filesystem::path(std::wstring(dir) + L"\\thread.txt")) << GetCurrentThreadId();
    volatile int* nowhere = nullptr;
    *nowhere = 42;
  });
  worker.join();
  FAIL() << "the fault did not end the process";
}

TEST(CrashDump, FaultOnAWorkerThreadLeavesADumpAndEndsTheProcess) {
  std::wstring dir = testing_support::TempPath(L"tov-crash-" + std::to_wstring(GetCurrentProcessId()));
  CreateDirectoryW(dir.c_str(), nullptr);
  for (auto& old : Dumps(dir, L"TovLauncher")) DeleteFileW(old.c_str());
  SetEnvironmentVariableW(L"TOV_CRASH_CHILD", dir.c_str());
  SYSTEMTIME before;
  GetLocalTime(&before);
  tov::UniqueHandleK process = testing_support::StartTestChild(testing_support::ModulePath(), L"CrashChild.*");
  ASSERT_TRUE(process);
  SetEnvironmentVariableW(L"TOV_CRASH_CHILD", nullptr);
  ASSERT_EQ(WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(code, EXCEPTION_ACCESS_VIOLATION);

  auto dumps = Dumps(dir, L"TovLauncher");
  ASSERT_EQ(dumps.size(), 1u);
  // Named with the local time of the fault: the year and month at least
  // match the moment the child was started.
  wchar_t expectedStart[32];
  swprintf(expectedStart, 32, L"TovLauncher_%04d_%02d_", before.wYear, before.wMonth);
  EXPECT_NE(dumps[0].find(expectedStart), std::wstring::npos);

  tov::UniqueHandleK file(
      CreateFileW(dumps[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file);
  tov::UniqueHandleK mapping(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  ASSERT_TRUE(mapping);
  void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(view), 4), "MDMP");

  // The reader comes from the system directory, as in the launcher.
  wchar_t sys[MAX_PATH];
  GetSystemDirectoryW(sys, MAX_PATH);
  tov::UniqueModule dbghelp(LoadLibraryW((std::wstring(sys) + L"\\dbghelp.dll").c_str()));
  ASSERT_TRUE(dbghelp);
  auto read = reinterpret_cast<decltype(&MiniDumpReadDumpStream)>(
      reinterpret_cast<void*>(GetProcAddress(dbghelp.get(), "MiniDumpReadDumpStream")));
  ASSERT_NE(read, nullptr);

  PMINIDUMP_DIRECTORY entry = nullptr;
  void* stream = nullptr;
  ULONG size = 0;
  ASSERT_TRUE(read(view, ExceptionStream, &entry, &stream, &size));
  auto* exception = static_cast<MINIDUMP_EXCEPTION_STREAM*>(stream);
  EXPECT_EQ(exception->ExceptionRecord.ExceptionCode, EXCEPTION_ACCESS_VIOLATION);
  DWORD faultingThread = 0;
  std::ifstream(std::filesystem::path(dir + L"\\thread.txt")) >> faultingThread;
  EXPECT_EQ(exception->ThreadId, faultingThread);
  EXPECT_TRUE(read(view, 0x10001, &entry, &stream, &size));
  EXPECT_EQ(size, 0u);

  UnmapViewOfFile(view);
}
