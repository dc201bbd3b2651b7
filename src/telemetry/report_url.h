// The two URL shapes of telemetry reports. Values arrive here already
// escaped where they need it: only os_version and error_msg are, the
// identifier, channel and adapter address travel as they are.
#pragma once
#include <string>

namespace tov {

struct ReportFields {
  std::wstring clientUid;
  std::wstring channel;
  std::wstring mac;
  std::wstring escapedOsVersion;
};

// "&ac=..." for the codes the event endpoint tells apart, empty otherwise.
std::wstring ReportActionPart(int code);

// endpoint?client_uid=..&ditch_name=..&mac=..&os_version=..[&ac=..]
std::wstring EventReportUrl(const std::wstring& endpoint, const ReportFields& fields, int code);
// endpoint?client_uid=..&ditch_name=..&mac=..&os_version=..&error_msg=..
std::wstring ErrorReportUrl(const std::wstring& endpoint, const ReportFields& fields,
                            const std::wstring& escapedMessage);

}  // namespace tov
