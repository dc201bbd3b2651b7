#include "telemetry/web_logger.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "base/exit_barrier.h"
#include "base/launcher_log.h"
#include "base/launcher_settings.h"
#include "telemetry/machine_profile.h"
#include "telemetry/query_escape.h"
#include "telemetry/report_url.h"

namespace {
tov::ReportFields CurrentFields() {
  const MachineProfile& profile = GetMachineProfile();
  return {profile.clientUid, LauncherSettings::ChannelName, profile.macAddress,
          EscapeQueryValue(profile.osVersion)};
}
}  // namespace

void WebLogger::LogEvent(int code) { Submit({code, L""}); }

void WebLogger::Log(const std::wstring& message) { Submit({std::nullopt, message}); }

void WebLogger::Submit(const Report& report) {
  {
    std::lock_guard<std::mutex> hold(m_waitLock);
    if (m_gathering) {
      m_waiting.emplace_back(report, GetLauncherLog().ReserveLine());
      return;
    }
  }
  Send(report, std::nullopt);
}

void WebLogger::Send(const Report& report, std::optional<size_t> logPlace) {
  RequestSpec params;
  const char* operation;
  if (report.event) {
    params.requestUrl = tov::EventReportUrl(LauncherSettings::EventUrl, CurrentFields(), *report.event);
    operation = "WebLogger::LogEvent";
  } else {
    params.requestUrl = tov::ErrorReportUrl(LauncherSettings::ErrorUrl, CurrentFields(),
                                            EscapeQueryValue(report.message));
    operation = "WebLogger::Log";
  }
  if (logPlace) {
    GetLauncherLog().FillInfoLine(*logPlace, params.requestUrl, operation, __LINE__);
  } else {
    LOG_INFO(params.requestUrl, operation);
  }
  SubmitRequest(params);
}

void WebLogger::GatherProfileLater() {
  {
    std::lock_guard<std::mutex> hold(m_waitLock);
    if (m_gatherAsked) return;
    m_gatherAsked = m_gathering = true;
  }
  // Registered after the log's own close, so it runs before it.
  GetLauncherLog();
  std::atexit([] { GetWebLogger().FinishWaitingReports(); });
  std::thread([this] {
    {
      std::unique_lock<std::mutex> hold(m_waitLock);
      m_waitDone.wait_for(hold, std::chrono::milliseconds(kGatherAfterMs),
                          [this] { return m_gatherNow || m_windowExpected; });
      m_waitDone.wait(hold, [this] { return m_gatherNow || !m_windowExpected; });
    }
    // The profile's probes load libraries and run COM: not to be cut by the
    // process's end.
    tov::ExitBarrier::Pass pass = tov::ProcessExitBarrier().Enter();
    if (pass) GetMachineProfile();
    SendWaiting(static_cast<bool>(pass));
  }).detach();
}

void WebLogger::ExpectWindow() {
  std::lock_guard<std::mutex> hold(m_waitLock);
  m_windowExpected = true;
  m_waitDone.notify_all();
}

void WebLogger::GatherProfileNow() {
  std::lock_guard<std::mutex> hold(m_waitLock);
  m_gatherNow = true;
  m_waitDone.notify_all();
}

void WebLogger::SendWaiting(bool send) {
  for (;;) {
    std::pair<Report, size_t> next;
    {
      std::lock_guard<std::mutex> hold(m_waitLock);
      // At the end of the run without a profile the reports are dropped,
      // and their places in the log with them.
      if (!send) m_waiting.clear();
      if (m_waiting.empty()) {
        m_gathering = false;
        m_waitDone.notify_all();
        return;
      }
      next = std::move(m_waiting.front());
      m_waiting.pop_front();
    }
    Send(next.first, next.second);
  }
}

void WebLogger::FinishWaitingReports() {
  std::unique_lock<std::mutex> hold(m_waitLock);
  m_gatherNow = true;
  m_waitDone.notify_all();
  // The profile's own probes are bounded (WMI within its wait); this only
  // keeps a stuck machine from holding the exit for good.
  m_waitDone.wait_for(hold, std::chrono::seconds(10), [this] { return !m_gathering; });
}

WebLogger& GetWebLogger() {
  static WebLogger* logger = [] {
    auto* created = new WebLogger();
    std::atexit([] { GetWebLogger().Shutdown(); });
    return created;
  }();
  return *logger;
}
