// Minidumps of unhandled faults on any thread.
#pragma once
#include <windows.h>

// Prepares the writer (the debug-help library is loaded from the system
// directory only, never from beside the executable) and remembers where dumps
// go: "<dumpPathBase>_YYYY_MM_DD_hh_mm_ss.dmp".
void PrepareCrashDumps(const wchar_t* dumpPathBase);

// The unhandled-exception filter.
LONG WINAPI WriteCrashDump(EXCEPTION_POINTERS* exception) noexcept;
