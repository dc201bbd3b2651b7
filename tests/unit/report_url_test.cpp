#include "telemetry/report_url.h"

#include <gtest/gtest.h>

namespace tov {
namespace {

const std::wstring kEvent = L"http://127.0.0.1:18080/api/event.php";
const std::wstring kError = L"http://127.0.0.1:18080/api/error.php";

ReportFields Fields(const wchar_t* uid) {
  return {uid, L"chan", L"00-1A-2B-3C-4D-5E", L"Version%20major%3A10%2FIntel%3F"};
}

TEST(EventReportUrl, CarriesTheActionOfTheKnownCodesOnly) {
  const std::wstring common = kEvent +
      L"?client_uid=0cc175b9c0f1b6a831c399e269772661&ditch_name=chan&mac=00-1A-2B-3C-4D-5E"
      L"&os_version=Version%20major%3A10%2FIntel%3F";
  const ReportFields f = Fields(L"0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(EventReportUrl(kEvent, f, 1), common + L"&ac=create");
  EXPECT_EQ(EventReportUrl(kEvent, f, 2), common + L"&ac=download_start");
  EXPECT_EQ(EventReportUrl(kEvent, f, 3), common + L"&ac=unzip_start");
  EXPECT_EQ(EventReportUrl(kEvent, f, 9), common + L"&ac=game_start");
  // The end of extraction and anything unforeseen go without an action.
  for (int code : {6, 0, 4, 5, 7, 8, 10, -1, 0x7fffffff}) {
    EXPECT_EQ(EventReportUrl(kEvent, f, code), common) << code;
  }
}

TEST(ErrorReportUrl, AppendsTheMessageAfterTheCommonPart) {
  EXPECT_EQ(ErrorReportUrl(kError, Fields(L"0cc175b9c0f1b6a831c399e269772661"), L"launcher%20start"),
            kError +
                L"?client_uid=0cc175b9c0f1b6a831c399e269772661&ditch_name=chan&mac=00-1A-2B-3C-4D-5E"
                L"&os_version=Version%20major%3A10%2FIntel%3F&error_msg=launcher%20start");
  // A message that could not be escaped travels empty.
  EXPECT_EQ(ErrorReportUrl(kError, Fields(L"x"), L"").substr(kError.size()),
            L"?client_uid=x&ditch_name=chan&mac=00-1A-2B-3C-4D-5E"
            L"&os_version=Version%20major%3A10%2FIntel%3F&error_msg=");
}

TEST(ReportUrls, FallbackIdentifiersTravelAsTheyAre) {
  EXPECT_EQ(EventReportUrl(kEvent, Fields(L"unkown"), 1).substr(kEvent.size()),
            L"?client_uid=unkown&ditch_name=chan&mac=00-1A-2B-3C-4D-5E"
            L"&os_version=Version%20major%3A10%2FIntel%3F&ac=create");
  ReportFields empty = Fields(L"");
  empty.mac = L"unkown";
  EXPECT_EQ(ErrorReportUrl(kError, empty, L"game%20start").substr(kError.size()),
            L"?client_uid=&ditch_name=chan&mac=unkown"
            L"&os_version=Version%20major%3A10%2FIntel%3F&error_msg=game%20start");
}

}  // namespace
}  // namespace tov
