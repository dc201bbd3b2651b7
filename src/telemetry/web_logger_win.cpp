#include "telemetry/web_logger.h"

#include "app/launcher_log.h"

// Interim reporter: records what would be reported in the local log only,
// until the request manager exists.
void WebLogger::LogEvent(int code) {
  LOG_INFO(L"event " + std::to_wstring(code), "WebLogger::LogEvent");
}

void WebLogger::Log(const std::wstring& message) { LOG_INFO(message, "WebLogger::Log"); }

WebLogger& GetWebLogger() {
  static WebLogger* logger = new WebLogger();
  return *logger;
}
