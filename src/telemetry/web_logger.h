// Reports of launcher events and free-text notes to the event and error
// endpoints. Fire and forget: callers never learn the outcome.
#pragma once
#include <string>

enum ReportCode : int {
  ReportCreate = 1,
  ReportDownloadStart = 2,
  ReportUnzipStart = 3,
  ReportUnzipFinished = 6,
  ReportGameStart = 9,
};

class WebLogger {
 public:
  // Both may be called from any thread.
  void LogEvent(int code);
  void Log(const std::wstring& message);
};

// The process-wide reporter, created on first use (its notification window
// belongs to the thread that first calls this: start-up's thread).
WebLogger& GetWebLogger();
