#include "provisioning/transfer_retry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tov {

std::wstring TransientReason(const AttemptEnd& attempt) {
  switch (attempt.end) {
    case TransferEnd::ConnectFailed:
      return L"cannot connect";
    case TransferEnd::Reset:
      return L"connection reset";
    case TransferEnd::Cut:
      return L"connection cut";
    case TransferEnd::Stalled:
      return L"transfer stalled";
    case TransferEnd::Local:
    case TransferEnd::Refused:
      return L"";
    case TransferEnd::Complete:
      break;
  }
  const long s = attempt.httpStatus;
  // 408 and 429 say "not now"; every 5xx is the server's own trouble.
  if (s == 408 || s == 429 || (s >= 500 && s <= 599)) return L"HTTP " + std::to_wstring(s);
  return L"";
}

int64_t RetryDelayMillis(const RetryPolicy& policy, int retry, int retryAfterSeconds, double jitter) {
  static constexpr int kSteps[] = {1, 2, 4, 8, 16, 30};
  const int index = std::clamp(retry, 1, static_cast<int>(std::size(kSteps))) - 1;
  jitter = std::clamp(jitter, 0.0, 1.0);
  const double scaled = static_cast<double>(kSteps[index] * policy.unitMillis) * (0.8 + 0.4 * jitter);
  int64_t delay = std::llround(scaled);
  if (retryAfterSeconds > 0) {
    const int64_t asked = static_cast<int64_t>(std::min(retryAfterSeconds, policy.retryAfterCapSeconds));
    delay = std::max(delay, asked * policy.unitMillis);
  }
  return delay;
}

int ParseRetryAfter(const std::string& value) {
  size_t begin = value.find_first_not_of(" \t");
  size_t end = value.find_last_not_of(" \t\r\n");
  if (begin == std::string::npos) return -1;
  int seconds = 0;
  for (size_t i = begin; i <= end; ++i) {
    if (value[i] < '0' || value[i] > '9') return -1;
    // Anything past a day is as good as "much later"; it is capped anyway.
    seconds = std::min(seconds * 10 + (value[i] - '0'), 86400);
  }
  return seconds;
}

std::wstring RetryLine(int attempt, int attempts, int64_t delayMillis, const std::wstring& reason) {
  wchar_t wait[32];
  // Whole seconds as a player reads them; a shortened test schedule keeps
  // its tenths.
  if (delayMillis >= 1000) {
    std::swprintf(wait, 32, L"%lld", static_cast<long long>((delayMillis + 500) / 1000));
  } else {
    std::swprintf(wait, 32, L"%.1f", static_cast<double>(delayMillis) / 1000.0);
  }
  return L"retry " + std::to_wstring(attempt) + L" of " + std::to_wstring(attempts) + L" in " + wait +
         L" s: " + reason;
}

}  // namespace tov
