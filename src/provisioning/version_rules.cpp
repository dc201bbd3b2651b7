#include "provisioning/version_rules.h"

#include <climits>

namespace tov {

namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

int32_t LeadingNumber(const std::wstring& field) {
  size_t i = 0;
  while (i < field.size() && IsBlank(field[i])) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == L'+' || field[i] == L'-')) {
    negative = field[i] == L'-';
    ++i;
  }
  int64_t value = 0;
  for (; i < field.size() && field[i] >= L'0' && field[i] <= L'9'; ++i) {
    value = value * 10 + (field[i] - L'0');
    if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;  // saturated already
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace

LocalClientVersionRecord ParseClientVersion(const std::wstring& text) {
  int32_t fields[4] = {0, 0, 0, 0};
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    if (start == std::wstring::npos || start > text.size()) break;
    size_t dot = text.find(L'.', start);
    std::wstring field = text.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start);
    fields[i] = LeadingNumber(field);
    start = dot == std::wstring::npos ? std::wstring::npos : dot + 1;
  }
  return LocalClientVersionRecord{fields[0], fields[1], fields[2], fields[3]};
}

int CompareClientVersion(const LocalClientVersionRecord& a, const LocalClientVersionRecord& b) {
  const int32_t left[4] = {a.major, a.minor, a.build, a.revision};
  const int32_t right[4] = {b.major, b.minor, b.build, b.revision};
  for (int i = 0; i < 4; ++i) {
    if (left[i] != right[i]) return left[i] < right[i] ? -1 : 1;
  }
  return 0;
}

bool IsClientCurrent(const LocalClientVersionRecord& local, const LocalClientVersionRecord* minimum) {
  return minimum && CompareClientVersion(local, *minimum) >= 0;
}

}  // namespace tov
