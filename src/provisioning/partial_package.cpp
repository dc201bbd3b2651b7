#include "provisioning/partial_package.h"

#include <string>

namespace tov {

namespace {

// Digits only, no sign, and far below overflow.
bool ParseLength(const std::string& text, int64_t& out) {
  if (text.empty() || text.size() > 18) return false;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  out = value;
  return true;
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

}  // namespace

std::string FormatPartialRecord(const PartialRecord& record) {
  return "address=" + record.address + "\nvalidator=" + record.validator +
         "\nlength=" + std::to_string(record.total) + "\nversion=" + record.version + "\n";
}

bool ParsePartialRecord(const std::string& text, PartialRecord& out) {
  // A record is a few hundred bytes; anything else was not written by us.
  if (text.size() > 16 * 1024) return false;
  PartialRecord record;
  int seen = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) return false;  // a record always ends its lines
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "address" && !(seen & 1)) {
      record.address = value;
      seen |= 1;
    } else if (key == "validator" && !(seen & 2)) {
      record.validator = value;
      seen |= 2;
    } else if (key == "length" && !(seen & 4) && ParseLength(value, record.total)) {
      seen |= 4;
    } else if (key == "version" && !(seen & 8)) {
      record.version = value;
      seen |= 8;
    } else {
      return false;
    }
  }
  if (seen != 15 || record.address.empty() || record.total <= 0) return false;
  out = record;
  return true;
}

std::string ChooseValidator(const std::string& etag, const std::string& lastModified) {
  if (!etag.empty() && etag.compare(0, 2, "W/") != 0 && !HasLineBreak(etag)) return etag;
  if (!lastModified.empty() && !HasLineBreak(lastModified)) return lastModified;
  return "";
}

ResumePoint PlanResume(const PartialRecord& record, const std::string& address,
                       const std::string& version, int64_t partialSize, bool hashed) {
  ResumePoint none;
  if (partialSize <= 0 || record.total <= 0 || partialSize >= record.total) return none;
  if (record.version != version || record.address.empty()) return none;
  const bool sameSource = record.address == address && !record.validator.empty();
  if (!sameSource && !hashed) return none;
  return {partialSize, sameSource};
}

bool ParseContentRange(const std::string& value, int64_t& first, int64_t& last, int64_t& total) {
  // No static string: the worker parses answers while the process's exit
  // may already destroy such objects.
  const std::string kUnit = "bytes ";
  std::string v = value;
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r' || v.back() == '\n')) v.pop_back();
  if (v.compare(0, kUnit.size(), kUnit) != 0) return false;
  size_t dash = v.find('-', kUnit.size());
  size_t slash = v.find('/', kUnit.size());
  if (dash == std::string::npos || slash == std::string::npos || slash < dash) return false;
  int64_t a = 0, b = 0, t = 0;
  if (!ParseLength(v.substr(kUnit.size(), dash - kUnit.size()), a) ||
      !ParseLength(v.substr(dash + 1, slash - dash - 1), b) || !ParseLength(v.substr(slash + 1), t)) {
    return false;
  }
  if (a > b || b >= t) return false;
  first = a;
  last = b;
  total = t;
  return true;
}

ResumeVerdict JudgeAnswer(long status, const std::string& contentRange, int64_t offset,
                          int64_t expectedTotal) {
  if (status == 200) return ResumeVerdict::TakeWhole;
  if (status == 416) return offset > 0 ? ResumeVerdict::AskFromZero : ResumeVerdict::NotPackage;
  if (status != 206) return ResumeVerdict::NotPackage;
  int64_t first = 0, last = 0, total = 0;
  // A range of another start or another total is of another package, or of
  // a server that does not count as this one does: only the rest is kept.
  if (offset <= 0 || !ParseContentRange(contentRange, first, last, total) || first != offset ||
      total != expectedTotal) {
    return ResumeVerdict::AskFromZero;
  }
  return ResumeVerdict::Continue;
}

}  // namespace tov
