// Reports of launcher events and free-text notes to the event and error
// endpoints. Fire and forget: callers never learn the outcome, and the
// answers are received and dropped.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
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
  // Both may be called from any thread. Every report carries the machine
  // profile: the first report of the run gathers it, unless
  // GatherProfileLater did.
  void LogEvent(int code);
  void Log(const std::wstring& message);

  // Gathers the machine profile on a thread of its own, once
  // GatherProfileNow is called or kGatherAfterMs have passed: start-up's
  // reports then neither hold up its window nor compete with it for the
  // loader (the profile's probes load a good many libraries). Until the
  // profile is there, reports wait in the order they were made, each with
  // its place in the local log kept; then that thread composes, logs and
  // submits them. Opens the local log (InstallRoot must be chosen): at exit
  // the wait for these reports comes before the log closes.
  void GatherProfileLater();
  // A main window is on its way: the profile then waits for
  // GatherProfileNow however long the window takes. Under Wine, libraries
  // loaded on two threads at once while the window makes its controls can
  // hang the process for good (seen as the window's thread in a theme call
  // and this thread inside the loader), and a slow start must not let the
  // timer start the probes in the middle of that.
  void ExpectWindow();
  void GatherProfileNow();
  // Waits, bounded, for the reports still waiting for the profile.
  void FinishWaitingReports();

  static constexpr unsigned kGatherAfterMs = 1000;

 private:
  struct Report {
    std::optional<int> event;  // else a note
    std::wstring message;
  };
  void Submit(const Report& report);
  void Send(const Report& report, std::optional<size_t> logPlace);
  void SendWaiting(bool send);

  std::mutex m_waitLock;
  std::condition_variable m_waitDone;
  std::deque<std::pair<Report, size_t>> m_waiting;
  bool m_gatherAsked = false;
  bool m_gathering = false;
  bool m_gatherNow = false;
  bool m_windowExpected = false;
};

// The process-wide reporter, created on first use (its notification window
// belongs to the thread that first calls this: start-up's thread). It is
// never freed, so late reports from other threads stay harmless; at process
// exit its requests get the manager's shutdown wait and no more.
WebLogger& GetWebLogger();
