#include "telemetry/report_url.h"

namespace tov {

namespace {
std::wstring CommonUrl(const std::wstring& endpoint, const ReportFields& fields) {
  return endpoint + L"?client_uid=" + fields.clientUid + L"&ditch_name=" + fields.channel +
         L"&mac=" + fields.mac + L"&os_version=" + fields.escapedOsVersion;
}
}  // namespace

std::wstring ReportActionPart(int code) {
  switch (code) {
    case 1: return L"&ac=create";
    case 2: return L"&ac=download_start";
    case 3: return L"&ac=unzip_start";
    case 9: return L"&ac=game_start";
    // The end of extraction (6) and anything unforeseen still reach the
    // event endpoint, as a bare report without an action.
    default: return L"";
  }
}

std::wstring EventReportUrl(const std::wstring& endpoint, const ReportFields& fields, int code) {
  return CommonUrl(endpoint, fields) + ReportActionPart(code);
}

std::wstring ErrorReportUrl(const std::wstring& endpoint, const ReportFields& fields,
                            const std::wstring& escapedMessage) {
  return CommonUrl(endpoint, fields) + L"&error_msg=" + escapedMessage;
}

}  // namespace tov
