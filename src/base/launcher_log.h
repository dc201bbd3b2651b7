// The local log: one UTF-8 text file per run in InstallRoot, named after the
// running executable.
#pragma once
#include <cstddef>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

class CLauncherLog {
 public:
  // Opens (truncating) the file at `path`; a path that does not fit the
  // classic 260-character limit opens nothing, and every line is dropped.
  explicit CLauncherLog(const std::wstring& path);
  ~CLauncherLog();
  CLauncherLog(const CLauncherLog&) = delete;
  CLauncherLog& operator=(const CLauncherLog&) = delete;

  void LogInfo(const std::wstring& message, const char* operation, int line);
  void LogError(const std::wstring& message, const char* operation, int line);
  // Keeps the place of an info line whose text another thread supplies
  // later: lines logged meanwhile wait in memory behind it, so the file
  // keeps the order of the calls. A place still empty when the file closes
  // is left out.
  size_t ReserveLine();
  void FillInfoLine(size_t place, const std::wstring& message, const char* operation, int line);
  // Flushes and closes the file; later lines of the run are dropped.
  void CloseFile();
  // From the crash filter: the lines waiting behind empty places go to the
  // file now, unless the log is busy (the crashed thread may hold it).
  void FlushAfterCrash();
  bool IsOpen();

 private:
  void Write(const std::wstring& text);
  // Writes the waiting lines up to the first place still empty.
  void WriteReady();
  void GiveUpEmptyPlaces();

  std::mutex m_lock;
  FILE* m_file = nullptr;
  // Lines behind a reserved place, and the number of places ever reserved
  // or written behind one before the first of them.
  std::deque<std::optional<std::string>> m_waiting;
  size_t m_waitingBase = 0;
};

// The process-wide log, opened on first use from InstallRoot and AppName.
CLauncherLog& GetLauncherLog();

// The line number in the log is that of the call site.
#define LOG_INFO(message, operation) GetLauncherLog().LogInfo((message), (operation), __LINE__)
#define LOG_ERROR(message, operation) GetLauncherLog().LogError((message), (operation), __LINE__)
