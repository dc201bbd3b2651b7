#include "web/page_rules.h"

#include <gtest/gtest.h>

#include "ui/browser_lockdown.h"

namespace tov {

TEST(PageRules, WhereThePageGoesAndWhichCallsAreServed) {
  const std::vector<std::wstring> any;
  const std::vector<std::wstring> keyed = AllowedPageHosts(L"http://Login.Example.com/entry\r", L" id.example ;;PAY.example");
  EXPECT_EQ(keyed, (std::vector<std::wstring>{L"login.example.com", L"id.example", L"pay.example"}));
  EXPECT_EQ(PageAddressRefusal(L"HTTPS://anywhere.example/", any), L"");
  EXPECT_EQ(PageAddressRefusal(L"file:///C:/x", any), L"not a web address, not opened: file:///C:/x");
  EXPECT_EQ(PageAddressRefusal(L"javascript:1", keyed), L"not a web address, not opened: javascript:1");
  for (const wchar_t* ok : {L"https://PAY.example./p", L"http://user:pw@id.example:81#f", L"http://x@[::1]@id.example"}) {
    EXPECT_EQ(PageAddressRefusal(ok, keyed), L"") << ok;
  }
  for (const wchar_t* other : {L"https://login.example.com.evil.example/", L"http://login.example.com@evil.example/",
                               L"http://evil.example\\@login.example.com/", L"http://[::1]/id.example"}) {
    EXPECT_EQ(PageAddressRefusal(other, keyed), std::wstring(L"host not allowed, not opened: ") + other);
  }

  EXPECT_EQ(ScriptCallRefusal(L"http://login.example.com/", true, keyed), L"");
  EXPECT_EQ(ScriptCallRefusal(L"http://login.example.com/", false, keyed),
            L"script call refused, not from the page itself: http://login.example.com/");
  for (const auto& top : {L"about:blank", L"http://other.example/"}) {
    EXPECT_EQ(ScriptCallRefusal(top, true, keyed), std::wstring(L"script call refused, the page is not on an allowed address: ") + top);
  }
}

TEST(PageRules, TheDocumentModeIsTheInstalledEnginesNewest) {
  const std::pair<const wchar_t*, uint32_t> cases[] = {{L"11.1.19041.0", 11001}, {L"10.0.9200.16521", 10001},
      {L"9.11.9600.0", 9999}, {L"8.0.7601.17514", 8888}, {L"12.0", 11001}, {L"7.0.6000.16386", 0}, {L"", 0}, {L"11x", 0}};
  for (const auto& [version, value] : cases) EXPECT_EQ(BrowserEmulationValue(version), value) << version;
}

}  // namespace tov
