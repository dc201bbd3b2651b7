#include "provisioning/config_seal.h"

#include <cstdio>

#include "provisioning/address_rules.h"

namespace tov {

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The digits of text[at, at + count) as a number; false on anything else.
bool Digits(const std::wstring& text, size_t at, size_t count, int& out) {
  out = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (!IsDigit(text[i])) return false;
    out = out * 10 + (text[i] - L'0');
  }
  return true;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's method).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

SignedBody SplitSignedBody(const std::string& body) {
  SignedBody split;
  size_t end = body.size();
  if (end > 0 && body[end - 1] == '\n') --end;
  if (end > 0 && body[end - 1] == '\r') --end;
  size_t lineStart = body.rfind('\n', end == 0 ? 0 : end - 1);
  lineStart = lineStart == std::string::npos || lineStart >= end ? 0 : lineStart + 1;
  const std::string prefix = kConfigSignaturePrefix;
  if (body.compare(lineStart, prefix.size(), prefix) != 0 || lineStart + prefix.size() > end) {
    return split;
  }
  const size_t valueStart = lineStart + prefix.size();
  const std::string hex = body.substr(valueStart, end - valueStart);
  std::wstring wide(hex.begin(), hex.end());
  split.check = ParseSignatureHex(wide, split.signature) && wide.back() != L'\r'
                    ? ConfigCheck::Passed
                    : ConfigCheck::SignatureMalformed;
  split.signedLength = lineStart;
  return split;
}

bool ParseUnsignedDecimal(const std::wstring& text, uint64_t& out) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t value = 0;
  for (wchar_t c : text) {
    if (!IsDigit(c)) return false;
    const uint64_t digit = static_cast<uint64_t>(c - L'0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  out = value;
  return true;
}

bool ParseUtcTime(const std::wstring& text, int64_t& seconds) {
  // YYYY-MM-DDTHH:MM:SSZ
  if (text.size() != 20 || text[4] != L'-' || text[7] != L'-' || text[10] != L'T' ||
      text[13] != L':' || text[16] != L':' || text[19] != L'Z') {
    return false;
  }
  int y, mo, d, h, mi, s;
  if (!Digits(text, 0, 4, y) || !Digits(text, 5, 2, mo) || !Digits(text, 8, 2, d) ||
      !Digits(text, 11, 2, h) || !Digits(text, 14, 2, mi) || !Digits(text, 17, 2, s)) {
    return false;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 || s > 59) {
    return false;
  }
  seconds = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
  return true;
}

std::wstring FormatUtcTime(int64_t seconds) {
  // The inverse of DaysFromCivil (same method).
  int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  const int64_t rest = seconds - days * 86400;
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int64_t y = yoe + era * 400 + (m <= 2);
  wchar_t text[48];
  std::swprintf(text, sizeof text / sizeof text[0], L"%04lld-%02d-%02dT%02d:%02d:%02dZ",
                static_cast<long long>(y), m, d, static_cast<int>(rest / 3600),
                static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
  return text;
}

std::wstring ConfigRefusalText(ConfigCheck check, const std::wstring& detail) {
  std::wstring text = L"configuration refused: ";
  switch (check) {
    case ConfigCheck::Passed:
      return L"";
    case ConfigCheck::SignatureMissing:
      return text + L"ConfigSignature is NotFound!";
    case ConfigCheck::SignatureMalformed:
      return text + L"ConfigSignature is not 128 hex digits";
    case ConfigCheck::KeyUnusable:
      return text + L"the built-in public key is unusable";
    case ConfigCheck::SignatureRefused:
      return text + L"ConfigSignature is not a signature of the body by a built-in key";
    case ConfigCheck::ChannelMissing:
      return text + L"ConfigChannel is NotFound!";
    case ConfigCheck::ChannelMismatch:
      return text + L"channel " + detail;
    case ConfigCheck::SequenceMissing:
      return text + L"ConfigSequence is NotFound!";
    case ConfigCheck::SequenceMalformed:
      return text + L"ConfigSequence is not an unsigned decimal number";
    case ConfigCheck::SequenceLower:
      return text + L"sequence " + detail;
    case ConfigCheck::ExpiresMissing:
      return text + L"ConfigExpires is NotFound!";
    case ConfigCheck::ExpiresMalformed:
      return text + L"ConfigExpires is not YYYY-MM-DDTHH:MM:SSZ";
    case ConfigCheck::Expired:
      return text + L"expired at " + detail;
  }
  return text + L"unknown check";
}

ConfigVerdict CheckConfigSeal(const RemoteConfigMap& values, const SealContext& context,
                              ConfigSeal& seal) {
  auto refuse = [](ConfigCheck check, const std::wstring& detail = L"") {
    return ConfigVerdict{check, ConfigRefusalText(check, detail)};
  };
  const std::wstring* channel = FindConfigValue(values, kConfigChannelKey);
  if (!channel) return refuse(ConfigCheck::ChannelMissing);
  seal.channel = WithoutTrailingCr(*channel);
  if (seal.channel != context.channel) {
    return refuse(ConfigCheck::ChannelMismatch, seal.channel + L" is not " + context.channel);
  }
  const std::wstring* sequence = FindConfigValue(values, kConfigSequenceKey);
  if (!sequence) return refuse(ConfigCheck::SequenceMissing);
  if (!ParseUnsignedDecimal(WithoutTrailingCr(*sequence), seal.sequence)) {
    return refuse(ConfigCheck::SequenceMalformed);
  }
  if (seal.sequence < context.highestSequence) {
    return refuse(ConfigCheck::SequenceLower, std::to_wstring(seal.sequence) + L" is below " +
                                                  std::to_wstring(context.highestSequence));
  }
  const std::wstring* expires = FindConfigValue(values, kConfigExpiresKey);
  if (!expires) return refuse(ConfigCheck::ExpiresMissing);
  if (!ParseUtcTime(WithoutTrailingCr(*expires), seal.expires)) {
    return refuse(ConfigCheck::ExpiresMalformed);
  }
  if (context.now > seal.expires) return refuse(ConfigCheck::Expired, FormatUtcTime(seal.expires));
  return {};
}

}  // namespace tov
