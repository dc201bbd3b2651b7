#include "app/crash_dump.h"
#include "base/launcher_log.h"

#include <dbghelp.h>

#include <string>

#include "app/startup_rules.h"
#include "base/unique_handle.h"

namespace {

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION);

// Filled once at start-up: a fault may come when the heap or the loader is in
// no state to load anything.
MiniDumpWriteDumpFn g_writeDump = nullptr;
wchar_t g_dumpPathBase[MAX_PATH] = {};

MiniDumpWriteDumpFn LoadWriter() {
  // The launcher is first started from a downloads folder, where a planted
  // dbghelp.dll would be found first by the usual search.
  wchar_t path[MAX_PATH];
  UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n + 14 >= MAX_PATH) return nullptr;
  std::wstring full = std::wstring(path, n) + L"\\dbghelp.dll";
  HMODULE dll = ::LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!dll) return nullptr;
  // Kept loaded for the life of the process.
  return reinterpret_cast<MiniDumpWriteDumpFn>(
      reinterpret_cast<void*>(::GetProcAddress(dll, "MiniDumpWriteDump")));
}

}  // namespace

void PrepareCrashDumps(const wchar_t* dumpPathBase) {
  lstrcpynW(g_dumpPathBase, dumpPathBase, MAX_PATH);
  if (!g_writeDump) g_writeDump = LoadWriter();
}

LONG WINAPI WriteCrashDump(EXCEPTION_POINTERS* exception) noexcept {
  if (::IsDebuggerPresent()) return EXCEPTION_CONTINUE_SEARCH;

  SYSTEMTIME t;
  ::GetLocalTime(&t);
  std::wstring name =
      tov::DumpFileName(g_dumpPathBase, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  tov::UniqueHandleK file(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file && g_writeDump) {
    MINIDUMP_EXCEPTION_INFORMATION info{};
    info.ThreadId = ::GetCurrentThreadId();
    info.ExceptionPointers = exception;
    info.ClientPointers = FALSE;
    MINIDUMP_USER_STREAM marker{};
    marker.Type = 0x10001;
    marker.BufferSize = 0;
    marker.Buffer = nullptr;
    MINIDUMP_USER_STREAM_INFORMATION streams{};
    streams.UserStreamCount = 1;
    streams.UserStreamArray = &marker;
    g_writeDump(::GetCurrentProcess(), ::GetCurrentProcessId(), file.get(), MiniDumpNormal, &info,
                &streams, nullptr);
  }
  GetLauncherLog().FlushAfterCrash();
  return EXCEPTION_EXECUTE_HANDLER;
}
