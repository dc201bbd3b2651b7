#include "base/utf8.h"

#include <gtest/gtest.h>

namespace tov {

TEST(Utf8, EncodesChineseAndSurrogatePairs) {
  EXPECT_EQ(WideToUtf8(L"\u6e38\u620f\u5df2\u542f\u52a8"),
            "\xe6\xb8\xb8\xe6\x88\x8f\xe5\xb7\xb2\xe5\x90\xaf\xe5\x8a\xa8");
  std::wstring pair;
  if (sizeof(wchar_t) == 2) {
    pair = {wchar_t(0xD83D), wchar_t(0xDE00)};
  } else {
    pair = {wchar_t(0x1F600)};
  }
  EXPECT_EQ(WideToUtf8(pair), "\xf0\x9f\x98\x80");
  EXPECT_EQ(WideToUtf8(std::wstring(1, wchar_t(0xD800))), "\xef\xbf\xbd");
  EXPECT_EQ(WideToUtf8(L""), "");
}

}  // namespace tov
