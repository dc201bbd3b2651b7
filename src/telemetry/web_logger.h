// Reports of launcher events and free-text notes to the event and error
// endpoints. Fire and forget: callers never learn the outcome, and the
// answers are received and dropped.
#pragma once
#include <string>

#include "telemetry/http_request_manager.h"

enum ReportCode : int {
  ReportCreate = 1,
  ReportDownloadStart = 2,
  ReportUnzipStart = 3,
  ReportUnzipFinished = 6,
  ReportGameStart = 9,
};

class WebLogger : public FCHttpRequestManager {
 public:
  ~WebLogger() override = default;
  // Both may be called from any thread; the first report of the run
  // gathers the machine profile.
  void LogEvent(int code);
  void Log(const std::wstring& message);
};

// The process-wide reporter, created on first use (its notification window
// belongs to the thread that first calls this: start-up's thread). It is
// never freed, so late reports from other threads stay harmless; at process
// exit its requests get the manager's shutdown wait and no more.
WebLogger& GetWebLogger();
