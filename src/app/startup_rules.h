// Decisions of the start-up sequence, kept apart from the Windows calls.
#pragma once
#include <string>

namespace tov {

// The per-channel data directory: on C:, else D:, else under the working
// directory.
std::wstring ChooseInstallRoot(const std::wstring& workingDir, bool haveC, bool haveD,
                               const std::wstring& channel);

// True only for the whole tail "/uninstall", in any case.
bool IsUninstallTail(const std::wstring& tail);

// The tail of a command line after the program name, leading blanks removed.
std::wstring CommandLineTail(const std::wstring& commandLine);

// Windows file names compare without regard to case.
bool SameFileName(const std::wstring& a, const std::wstring& b);

// "<base>_YYYY_MM_DD_hh_mm_ss.dmp"
std::wstring DumpFileName(const std::wstring& base, int year, int month, int day, int hour,
                          int minute, int second);

}  // namespace tov
