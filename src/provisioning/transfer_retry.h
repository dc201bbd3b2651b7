// When a failed transfer is tried again, and how long the launcher waits
// first. A weak connection cuts, stalls or briefly refuses; a server under
// load answers 503 for a while. Those pass, so they are retried with a
// growing pause; an answer that says the address is wrong (404, 403) or a
// failure on this machine (a full disk) does not, and fails at once.
#pragma once
#include <cstdint>
#include <string>

namespace tov {

// How one attempt ended, as the binding reads it from libcurl.
enum class TransferEnd {
  Complete,       // an answer arrived whole; its status decides
  ConnectFailed,  // no connection (refused, unreachable, timed out)
  Reset,          // the connection broke while sending or receiving
  Cut,            // the answer ended before the length it announced
  Stalled,        // nothing arrived for the stall limit
  Local,          // this side gave up: the file, the disk, a check
  Refused,        // not worth another try: bad address, redirect loop, TLS
};

struct AttemptEnd {
  TransferEnd end = TransferEnd::Complete;
  long httpStatus = 0;         // of the last answer, 0 without one
  int retryAfterSeconds = -1;  // the answer's Retry-After, -1 without one
};

// Why the attempt deserves another one ("HTTP 503", "connection cut" ...),
// or empty when it does not: a 200, any other 4xx or 3xx, a local failure.
std::wstring TransientReason(const AttemptEnd& attempt);

struct RetryPolicy {
  int attempts = 6;             // per address, the first one included
  int64_t unitMillis = 1000;    // one step of the schedule; tests shorten it
  int retryAfterCapSeconds = 60;
};

// The pause before retry number `retry` (1 before the second attempt): 1,
// 2, 4, 8, 16 and then 30 units, each stretched by `jitter` (0..1) to
// between 80 % and 120 %, so launchers cut off together do not come back
// together. A Retry-After longer than that is honoured up to the cap.
int64_t RetryDelayMillis(const RetryPolicy& policy, int retry, int retryAfterSeconds, double jitter);

// Retry-After in its delta-seconds form; -1 for an absent or other value
// (an HTTP date is left to the schedule).
int ParseRetryAfter(const std::string& value);

// "retry 2 of 6 in 4 s: HTTP 503": `attempt` is the one about to start.
std::wstring RetryLine(int attempt, int attempts, int64_t delayMillis, const std::wstring& reason);

}  // namespace tov
