#include "telemetry/web_logger.h"

#include <cstdlib>

#include "app/launcher_log.h"
#include "app/launcher_settings.h"
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

void WebLogger::LogEvent(int code) {
  RequestSpec spec;
  spec.requestUrl = tov::EventReportUrl(LauncherSettings::EventUrl, CurrentFields(), code);
  LOG_INFO(spec.requestUrl, "WebLogger::LogEvent");
  SubmitRequest(spec);
}

void WebLogger::Log(const std::wstring& message) {
  RequestSpec spec;
  spec.requestUrl = tov::ErrorReportUrl(LauncherSettings::ErrorUrl, CurrentFields(), EscapeQueryValue(message));
  LOG_INFO(spec.requestUrl, "WebLogger::Log");
  SubmitRequest(spec);
}

WebLogger& GetWebLogger() {
  static WebLogger* logger = [] {
    auto* created = new WebLogger();
    std::atexit([] { GetWebLogger().Shutdown(); });
    return created;
  }();
  return *logger;
}
