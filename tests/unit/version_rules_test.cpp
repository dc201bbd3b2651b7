#include "provisioning/version_rules.h"

#include <gtest/gtest.h>

#include <climits>

namespace tov {

namespace {
LocalClientVersionRecord V(int a, int b, int c, int d) { return {a, b, c, d}; }
bool Eq(const LocalClientVersionRecord& x, const LocalClientVersionRecord& y) {
  return CompareClientVersion(x, y) == 0;
}
}  // namespace

TEST(ClientVersion, FieldsAreLeadingNumbers) {
  EXPECT_TRUE(Eq(ParseClientVersion(L"1.2.3.4"), V(1, 2, 3, 4)));
  EXPECT_TRUE(Eq(ParseClientVersion(L"2.0"), V(2, 0, 0, 0)));
  EXPECT_TRUE(Eq(ParseClientVersion(L"1.2.3.4\r\n"), V(1, 2, 3, 4)));
  EXPECT_TRUE(Eq(ParseClientVersion(L"v1.2.3.4"), V(0, 2, 3, 4)));
  EXPECT_TRUE(Eq(ParseClientVersion(L" 7. -3.+5.9x.11"), V(7, -3, 5, 9)));
  EXPECT_TRUE(Eq(ParseClientVersion(L""), V(0, 0, 0, 0)));
  EXPECT_TRUE(Eq(ParseClientVersion(L"..."), V(0, 0, 0, 0)));
  EXPECT_TRUE(Eq(ParseClientVersion(L"99999999999.-99999999999.2147483648.-2147483648"),
                 V(INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN)));
}

TEST(ClientVersion, NumbersNotTextDecide) {
  EXPECT_GT(CompareClientVersion(ParseClientVersion(L"1.0.0.10"), ParseClientVersion(L"1.0.0.9")), 0);
  EXPECT_GT(CompareClientVersion(ParseClientVersion(L"2.0"), ParseClientVersion(L"1.9.9.9")), 0);
  EXPECT_LT(CompareClientVersion(V(0, 0, 0, 0), V(0, 0, 0, 1)), 0);
  EXPECT_EQ(CompareClientVersion(V(1, 2, 3, 4), V(1, 2, 3, 4)), 0);
  EXPECT_LT(CompareClientVersion(V(-1, 9, 9, 9), V(0, 0, 0, 0)), 0);
}

TEST(ClientVersion, OnlyAConfiguredMinimumLetsTheClientStay) {
  LocalClientVersionRecord minimum = ParseClientVersion(L"1.0.0.9");
  EXPECT_TRUE(IsClientCurrent(ParseClientVersion(L"1.0.0.10"), &minimum));
  EXPECT_TRUE(IsClientCurrent(ParseClientVersion(L"1.0.0.9\n"), &minimum));
  EXPECT_FALSE(IsClientCurrent(ParseClientVersion(L"1.0.0.8"), &minimum));
  LocalClientVersionRecord older = ParseClientVersion(L"1.9.9.9");
  EXPECT_TRUE(IsClientCurrent(ParseClientVersion(L"2.0"), &older));
  // Nothing installed (0.0.0.0) still counts as current against a zero minimum.
  LocalClientVersionRecord zero{};
  EXPECT_TRUE(IsClientCurrent(LocalClientVersionRecord{}, &zero));
  // No minimum configured: download on every start, whatever is installed.
  EXPECT_FALSE(IsClientCurrent(V(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX), nullptr));
}

}  // namespace tov
