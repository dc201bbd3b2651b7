#include "web/page_rules.h"

#include <gtest/gtest.h>

#include "ui/browser_lockdown.h"

namespace tov {

TEST(PageRules, TheHostIsWhereTheBrowserGoes) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"https://Login.Example.com/x", L"login.example.com"},
      {L"http://login.example.com:8080?q", L"login.example.com"},
      {L"http://login.example.com@evil.example/", L"evil.example"},
      {L"http://user:pw@Host.Example.:81#f", L"host.example"},
      {L"http://evil.example\\@login.example.com/", L"evil.example"},
      {L"http://[::1]:80/", L"[::1]"},
      {L"file:///C:/x.html", L""},
      {L"javascript:location='http://login.example.com'", L""},
  };
  for (const auto& [address, host] : cases) EXPECT_EQ(WebAddressHost(address), host) << address;
}

TEST(PageRules, WhereThePageGoesAndWhichCallsAreServed) {
  const std::vector<std::wstring> any;
  const std::vector<std::wstring> keyed = AllowedPageHosts(L"http://Login.Example.com/entry\r", L" id.example ;;PAY.example");
  EXPECT_EQ(keyed, (std::vector<std::wstring>{L"login.example.com", L"id.example", L"pay.example"}));
  EXPECT_TRUE(AllowedPageHosts(L"file:///x", L"").empty());

  EXPECT_EQ(PageAddressRefusal(L"HTTPS://anywhere.example/", any), L"");
  EXPECT_EQ(PageAddressRefusal(L"file:///C:/x", any), L"not a web address, not opened: file:///C:/x");
  EXPECT_EQ(PageAddressRefusal(L"javascript:1", keyed), L"not a web address, not opened: javascript:1");
  EXPECT_EQ(PageAddressRefusal(L"https://PAY.example./p", keyed), L"");
  EXPECT_EQ(PageAddressRefusal(L"https://login.example.com.evil.example/", keyed),
            L"host not allowed, not opened: https://login.example.com.evil.example/");

  EXPECT_EQ(ScriptCallRefusal(L"http://login.example.com/", true, keyed), L"");
  EXPECT_EQ(ScriptCallRefusal(L"http://login.example.com/", false, keyed),
            L"script call refused, not from the page itself: http://login.example.com/");
  for (const auto& top : {L"", L"about:blank", L"file:///C:/x.html", L"http://other.example/"}) {
    EXPECT_EQ(ScriptCallRefusal(top, true, keyed),
              std::wstring(L"script call refused, the page is not on an allowed address: ") + top);
  }
  EXPECT_EQ(ScriptCallRefusal(L"http://other.example/", true, any), L"");
}

TEST(PageRules, TheDocumentModeIsTheInstalledEnginesNewest) {
  const std::pair<const wchar_t*, uint32_t> cases[] = {
      {L"11.1.19041.0", 11001}, {L"10.0.9200.16521", 10001}, {L"9.11.9600.0", 9999}, {L"9.0.8112.16421", 9999},
      {L"8.0.7601.17514", 8888}, {L"12.0", 11001},         {L"7.0.6000.16386", 0},   {L"", 0},
      {L"x11", 0},               {L"11x", 0},              {L"99999.0", 0},
  };
  for (const auto& [version, value] : cases) EXPECT_EQ(BrowserEmulationValue(version), value) << version;
}

}  // namespace tov
