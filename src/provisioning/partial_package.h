// A package download that was cut off, and when its bytes may be kept. The
// partial bm.zip stays after a failed transfer; a small record beside it
// says what it is a part of, so the next attempt (in this run or a later
// start) asks only for the rest. The server's validator guards the join: a
// package changed in between makes the server answer whole, and the
// launcher starts over instead of gluing two packages together.
#pragma once
#include <cstdint>
#include <string>

namespace tov {

// File name of the record, beside the archive.
inline constexpr const wchar_t* kPartialRecordSuffix = L".state";

// Texts in UTF-8, as stored.
struct PartialRecord {
  std::string address;    // the download address the bytes came from
  std::string validator;  // the strong ETag, else Last-Modified; may be empty
  int64_t total = 0;      // the whole package's length
  std::string version;    // the ClientVersion it was downloaded for
};

// The record as stored ("key=value" lines) and read back; reading fails on
// anything malformed, which then counts as no record.
std::string FormatPartialRecord(const PartialRecord& record);
bool ParsePartialRecord(const std::string& text, PartialRecord& out);

// What If-Range may name: a strong ETag as sent, else the Last-Modified
// date; empty when the answer had neither (a weak ETag cannot guard a
// byte range).
std::string ChooseValidator(const std::string& etag, const std::string& lastModified);

// Where to continue a partial of `partialSize` bytes for `address` and
// `version`, and whether If-Range may carry the record's validator.
// Bytes are kept only for the same version, below the known total, and
// either from the same address with a validator or, when the package's
// SHA-256 is configured, from any address (the final check then decides).
struct ResumePoint {
  int64_t offset = 0;
  bool ifRange = false;
};
ResumePoint PlanResume(const PartialRecord& record, const std::string& address,
                       const std::string& version, int64_t partialSize, bool hashed);

// "bytes first-last/total"; false for any other form (an unknown total
// "*" included).
bool ParseContentRange(const std::string& value, int64_t& first, int64_t& last, int64_t& total);

// What to do with an answer to a request that asked from `offset`.
enum class ResumeVerdict {
  Continue,       // a 206 for exactly the rest: append its body
  TakeWhole,      // a 200: the server sends everything; truncate and take it
  AskFromZero,    // a 416 or a range that does not fit: ask again without one
  NotPackage,     // any other status: its body is not package data
};
ResumeVerdict JudgeAnswer(long status, const std::string& contentRange, int64_t offset,
                          int64_t expectedTotal);

}  // namespace tov
