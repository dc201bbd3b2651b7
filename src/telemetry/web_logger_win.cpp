#include "telemetry/web_logger.h"

#include <cstdlib>

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

void WebLogger::LogEvent(int code) {
  RequestSpec params;
  params.requestUrl = tov::EventReportUrl(LauncherSettings::EventUrl, CurrentFields(), code);
  LOG_INFO(params.requestUrl, "WebLogger::LogEvent");
  SubmitRequest(params);
}

void WebLogger::Log(const std::wstring& message) {
  RequestSpec params;
  params.requestUrl = tov::ErrorReportUrl(LauncherSettings::ErrorUrl, CurrentFields(), EscapeQueryValue(message));
  LOG_INFO(params.requestUrl, "WebLogger::Log");
  SubmitRequest(params);
}

WebLogger& GetWebLogger() {
  static WebLogger* logger = [] {
    auto* created = new WebLogger();
    std::atexit([] { GetWebLogger().Shutdown(); });
    return created;
  }();
  return *logger;
}
