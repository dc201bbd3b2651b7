// Report values escaped as one query value each, by the system's escaper.
#include "telemetry/query_escape.h"

#include <gtest/gtest.h>

namespace {

TEST(EscapeQueryValue, SlashQuestionMarkAndBlanksStayInsideTheValue) {
  EXPECT_EQ(EscapeQueryValue(L"launcher start"), L"launcher%20start");
  EXPECT_EQ(EscapeQueryValue(L"Intel(R) Core(TM) i5 / 3.2GHz?"), L"Intel(R)%20Core(TM)%20i5%20%2F%203.2GHz%3F");
  EXPECT_EQ(EscapeQueryValue(L"game download start, download url:http://127.0.0.1:18080/packages/chan/1.0.0.1/bm.zip"),
            L"game%20download%20start,%20download%20url:http:%2F%2F127.0.0.1:18080%2Fpackages%2Fchan%2F1.0.0.1%2Fbm.zip");
  // An '&' would otherwise start a new query value.
  EXPECT_EQ(EscapeQueryValue(L"a&b#c"), L"a%26b%23c");
  EXPECT_EQ(EscapeQueryValue(L""), L"");
}

TEST(EscapeQueryValue, ChineseTextGoesOutAsEscapedUtf8) {
  EXPECT_EQ(EscapeQueryValue(L"\u521b\u5efa\u6570\u636e\u76ee\u5f55\u5931\u8d25,\u9519\u8befid:3"),
            L"%E5%88%9B%E5%BB%BA%E6%95%B0%E6%8D%AE%E7%9B%AE%E5%BD%95%E5%A4%B1%E8%B4%A5,"
            L"%E9%94%99%E8%AF%AFid:3");
}

TEST(EscapeQueryValue, ATextTooLongForAUrlIsSentEmpty) {
  EXPECT_EQ(EscapeQueryValue(std::wstring(2083, L'a')), std::wstring(2083, L'a'));
  EXPECT_EQ(EscapeQueryValue(std::wstring(2084, L'a')), L"");
  // Short in characters, too long once escaped.
  EXPECT_EQ(EscapeQueryValue(std::wstring(700, L' ')), L"");
  EXPECT_EQ(EscapeQueryValue(std::wstring(300, L'\u4e2d')), L"");
}

}  // namespace
