// The package transfer: an HTTP GET of the package address into an open file.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "provisioning/curl_easy_win.h"

class PackageDigest;

// Called by libcurl as data arrives: bytes announced (0 while unknown) and
// bytes received so far.
using DownloadProgressFn = std::function<void(int64_t total, int64_t done)>;

// Asked with the length a successful response announces, once its headers
// are in and before any of its body is written; false ends the transfer as
// a failure. Not asked when no length is announced.
using AnnouncedLengthCheck = std::function<bool(int64_t length)>;

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

 private:
  UniqueCurl m_curl;
};

// A transfer of its own; curlResult stays -1 when no handle could be made.
[[nodiscard]] DownloadOutcome DownloadToFile(const std::string& url, FILE* file, const DownloadProgressFn& progress,
                                             PackageDigest* digest = nullptr);

// Where WritePackageData puts a block: the file, and the digest when the
// package is checked.
struct PackageSink {
  FILE* file = nullptr;
  PackageDigest* digest = nullptr;
};

// libcurl callbacks, named as the rest of the launcher knows them; `sink`
// is a PackageSink.
size_t WritePackageData(char* data, size_t size, size_t count, void* sink) noexcept;
