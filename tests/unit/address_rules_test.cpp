#include "provisioning/address_rules.h"

#include <gtest/gtest.h>

namespace tov {

TEST(ConfiguredAddresses, OneTrailingCrOfACrLfBodyIsDropped) {
  EXPECT_EQ(WithoutTrailingCr(L"http://h/entry\r"), L"http://h/entry");
  EXPECT_EQ(WithoutTrailingCr(L"http://h/entry\r\r"), L"http://h/entry\r");
  EXPECT_EQ(WithoutTrailingCr(L"http://h/\rentry"), L"http://h/\rentry");
  EXPECT_EQ(WithoutTrailingCr(L""), L"");
}

TEST(ConfiguredAddresses, OnlyWebSchemesAreFollowed) {
  for (const wchar_t* ok : {L"http://127.0.0.1/entry", L"HTTPS://host/x", L"Http://h"}) {
    EXPECT_TRUE(IsWebAddress(ok)) << ok;
  }
  for (const wchar_t* refused :
       {L"file:///C:/Windows/System32/calc.exe", L"javascript:alert(1)", L"\\\\server\\share\\x.html",
        L"C:\\x.html", L"ms-settings:", L"about:blank", L"http:/h", L"http://", L" http://h", L""}) {
    EXPECT_FALSE(IsWebAddress(refused)) << refused;
  }
}

TEST(ConfiguredAddresses, AnHttpsBaseKeepsRedirectsOnHttps) {
  EXPECT_STREQ(RedirectProtocols(L"https://launcher.example/api/x"), "https");
  EXPECT_STREQ(RedirectProtocols(L"HTTPS://launcher.example"), "https");
  EXPECT_STREQ(RedirectProtocols(L"http://127.0.0.1:28999/api"), "http,https");
  // Not a base on https, so never read as one (no "s" after a blank).
  EXPECT_STREQ(RedirectProtocols(L" https://h"), "http,https");
  EXPECT_STREQ(RedirectProtocols(L"https:/h"), "http,https");
}

}  // namespace tov
