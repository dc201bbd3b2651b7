// The package transfer: an HTTP GET of the package address into an open file.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "base/exit_barrier.h"
#include "provisioning/curl_easy_win.h"
#include "provisioning/partial_package.h"
#include "provisioning/transfer_retry.h"

class PackageDigest;

// Called by libcurl as data arrives: bytes announced (0 while unknown) and
// bytes received so far.
using DownloadProgressFn = std::function<void(int64_t total, int64_t done)>;

// Asked with the length a successful response announces, once its headers
// are in and before any of its body is written; false ends the transfer as
// a failure. Not asked when no length is announced.
using AnnouncedLengthCheck = std::function<bool(int64_t length)>;

// Asked before each block is written, with the file's length so far and the
// block's size; false ends the transfer as a failure. Whether or not a
// length was announced, this is what bounds a body that does not end.
using BlockAdmission = std::function<bool(uint64_t written, uint64_t block)>;

struct DownloadOutcome {
  int curlResult = -1;  // CURLcode
  long httpStatus = 0;  // of the last response after redirects
  bool ok() const { return curlResult == 0 && httpStatus == 200; }
};

// Creates or truncates `path` for the package's raw bytes, or null. The
// stream is unbuffered: WritePackageData hands each delivery of libcurl to
// the file's handle in one piece.
[[nodiscard]] FILE* OpenPackageFile(const std::wstring& path);

// One package transfer's libcurl handle. It is made before the transfer is
// prepared, so that a launcher short of memory stops before it reports a
// download start.
class PackageTransfer {
 public:
  PackageTransfer();
  PackageTransfer(const PackageTransfer&) = delete;
  PackageTransfer& operator=(const PackageTransfer&) = delete;
  // False when libcurl could not make the handle.
  explicit operator bool() const { return m_curl != nullptr; }

  // Follows redirects; bounded like every transfer of the launcher (no
  // endless wait on a dead connection). `url` is in the thread's ANSI code
  // page. With `digest`, every block written to the file is hashed as it
  // goes by, so the package is never read a second time; a block that
  // cannot be hashed aborts the transfer. The handle is released when it
  // returns; once per object.
  [[nodiscard]] DownloadOutcome Run(const std::string& url, FILE* file,
                                    const DownloadProgressFn& progress,
                                    const AnnouncedLengthCheck& fits = nullptr,
                                    PackageDigest* digest = nullptr);

  // One attempt of a download that may continue a partial file; the handle
  // stays for the next attempt (its connection may be reused) until
  // Release.
  struct Attempt;
  struct AttemptReport;
  [[nodiscard]] AttemptReport Try(const std::string& url, const Attempt& attempt);
  void Release() { m_curl.reset(); }

 private:
  UniqueCurl m_curl;
};

// What one attempt asks for. `file` is open for reading and writing and
// holds `offset` bytes kept from before; with `offset` 0 it is truncated
// when the answer's body starts.
struct PackageTransfer::Attempt {
  HANDLE file = nullptr;
  int64_t offset = 0;
  std::string ifRange;        // the validator If-Range names; empty: none sent
  int64_t expectedTotal = 0;  // the whole length a range answer must name
  bool hashed = false;        // hash the whole file, the kept part first
  // The digest of an earlier attempt of this run and how many bytes it has
  // taken: when they are exactly the kept part, it goes on from there
  // instead of reading that part back (it is moved out when used).
  std::unique_ptr<PackageDigest>* carried = nullptr;
  int64_t carriedBytes = 0;
  DownloadProgressFn progress;  // whole-package figures, the kept part included
  AnnouncedLengthCheck fits;    // asked with the bytes still to come
  BlockAdmission admit;         // asked before each block is written
  const tov::ExitBarrier* barrier = &tov::ProcessExitBarrier();  // once closed, the transfer stops
  // Once an answer is taken as package data, before its body: the whole
  // length (0 when unknown) and the answer's validator.
  std::function<void(int64_t total, const std::string& validator)> accepted;
};

struct PackageTransfer::AttemptReport {
  DownloadOutcome outcome;
  tov::AttemptEnd end;
  tov::ResumeVerdict verdict = tov::ResumeVerdict::NotPackage;
  int64_t written = 0;  // the file's length after the attempt
  int64_t total = 0;    // the whole package's length, 0 when unknown
  bool digestFailed = false;
  std::unique_ptr<PackageDigest> digest;  // of the whole file, when hashed and taken
};

// A transfer of its own; curlResult stays -1 when no handle could be made.
[[nodiscard]] DownloadOutcome DownloadToFile(const std::string& url, FILE* file, const DownloadProgressFn& progress,
                                             PackageDigest* digest = nullptr);

// Where WritePackageData puts a block: the file, and the digest when the
// package is checked; `admit` (may be null) is asked first, with `written`.
struct PackageSink {
  HANDLE file = nullptr;
  PackageDigest* digest = nullptr;
  int64_t* written = nullptr;  // counts the bytes written, when set
  const BlockAdmission* admit = nullptr;
};

// libcurl callbacks, named as the rest of the launcher knows them; `sink`
// is a PackageSink.
size_t WritePackageData(char* data, size_t size, size_t count, void* sink) noexcept;
