#include "provisioning/package_download.h"

#include <curl/curl.h>
#include <io.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <vector>

#include "base/launcher_log.h"
#include "provisioning/package_digest_win.h"

namespace {

constexpr const char* kOp = "CGameRemoteConfig::OnDownLoad";

// The most a receive may take, the largest block libcurl accepts. Each
// receive costs a fixed amount besides its bytes (under Wine a round trip
// to the Wine server and more); when the line is faster than this thread,
// the socket holds megabytes, and taking them in one call instead of in
// 512 KiB pieces is what lets the download keep up with a fast local link.
// Only as much of the block is touched as one receive brings.
constexpr long kReceiveBlock = CURL_MAX_READ_SIZE;

struct LengthWatch {
  CURL* curl;
  const AnnouncedLengthCheck& fits;
};

bool IsBlankHeaderLine(const char* data, size_t n) {
  return (n == 2 && data[0] == '\r' && data[1] == '\n') || (n == 1 && data[0] == '\n');
}

// The blank line that ends a response's headers: the status and the length
// are known, and nothing of the body has been written yet.
size_t OnHeaderLine(char* data, size_t size, size_t count, void* user) noexcept {
  const size_t n = size * count;
  const auto* watch = static_cast<const LengthWatch*>(user);
  if (!IsBlankHeaderLine(data, n)) return n;
  long status = 0;
  curl_off_t length = -1;
  curl_easy_getinfo(watch->curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_getinfo(watch->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  // Redirects and errors are not written as the package.
  if (status / 100 != 2 || length <= 0) return n;
  try {
    return watch->fits(static_cast<int64_t>(length)) ? n : 0;  // 0: libcurl stops
  } catch (...) {
    return 0;
  }
}

int OnTransferInfo(void* user, curl_off_t total, curl_off_t done, curl_off_t, curl_off_t) noexcept {
  const auto* progress = static_cast<const DownloadProgressFn*>(user);
  try {
    if (*progress) (*progress)(static_cast<int64_t>(total), static_cast<int64_t>(done));
  } catch (...) {
    return 1;  // nothing may unwind through libcurl: the transfer aborts
  }
  return 0;
}

// The state of one attempt that libcurl's callbacks share.
struct AttemptRun {
  AttemptRun(CURL* c, const PackageTransfer::Attempt& p, PackageTransfer::AttemptReport& r)
      : curl(c), plan(p), report(r), sink{p.file, nullptr, &r.written, &p.admit} {}

  CURL* curl;
  const PackageTransfer::Attempt& plan;
  PackageTransfer::AttemptReport& report;
  PackageSink sink;
  bool decided = false;  // the final answer's headers are in
  bool keep = false;     // its body is written
  int64_t base = 0;      // where its body starts in the file
  std::string etag, lastModified, contentRange, retryAfter;

  void ForgetHeaders() {
    etag.clear();
    lastModified.clear();
    contentRange.clear();
    retryAfter.clear();
  }
  void Header(const std::string& line);
  bool Decide();
  bool StartAt(int64_t offset);
};

std::string Trimmed(const std::string& text) {
  size_t b = text.find_first_not_of(" \t");
  size_t e = text.find_last_not_of(" \t\r\n");
  return b == std::string::npos ? std::string() : text.substr(b, e - b + 1);
}

void AttemptRun::Header(const std::string& line) {
  if (line.compare(0, 5, "HTTP/") == 0) {
    ForgetHeaders();  // a new answer: a redirect's headers are not this one's
    return;
  }
  size_t colon = line.find(':');
  if (colon == std::string::npos) return;
  std::string name = line.substr(0, colon);
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  std::string value = Trimmed(line.substr(colon + 1));
  if (name == "etag") etag = value;
  else if (name == "last-modified") lastModified = value;
  else if (name == "content-range") contentRange = value;
  else if (name == "retry-after") retryAfter = value;
}

// Puts the file at `offset` and hashes what it keeps before that.
bool AttemptRun::StartAt(int64_t offset) {
  HANDLE file = plan.file;
  LARGE_INTEGER at;
  at.QuadPart = offset;
  if (!::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !::SetEndOfFile(file)) return false;
  base = offset;
  report.written = offset;
  if (!plan.hashed) return true;
  // This run wrote the kept part through the handle it still holds, hashing
  // it on the way: nobody else can have changed it since.
  if (offset > 0 && plan.carried && *plan.carried && plan.carriedBytes == offset) {
    report.digest = std::move(*plan.carried);
    return true;
  }
  report.digest = std::make_unique<PackageDigest>();
  std::vector<char> block(1 << 20);
  for (int64_t done = 0; done < offset;) {
    // Reading back a large part takes seconds: the close need not wait.
    if (plan.barrier->Closed()) return false;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(done);
    where.OffsetHigh = static_cast<DWORD>(done >> 32);
    DWORD want = static_cast<DWORD>(std::min<int64_t>(offset - done, static_cast<int64_t>(block.size())));
    DWORD got = 0;
    if (!::ReadFile(file, block.data(), want, &got, &where) || got == 0 ||
        !report.digest->Add(block.data(), got)) {
      report.digestFailed = true;
      return false;
    }
    done += got;
  }
  // ReadFile at an offset moves the file pointer of a synchronous handle.
  return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
}

// At the end of the final answer's headers: whether its body is package
// data, and from where.
bool AttemptRun::Decide() {
  long status = 0;
  curl_off_t length = -1;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  if (status / 100 == 3 || status / 100 == 1) return true;  // followed or skipped by libcurl
  curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  decided = true;
  report.end.retryAfterSeconds = tov::ParseRetryAfter(retryAfter);
  report.verdict = tov::JudgeAnswer(status, contentRange, plan.offset, plan.expectedTotal);
  switch (report.verdict) {
    case tov::ResumeVerdict::AskFromZero:
      LOG_INFO(L"range answer refused (" + std::to_wstring(status) + L"), starting over", kOp);
      return false;
    case tov::ResumeVerdict::NotPackage:
      // Kept as it always was when nothing was before it (a 404 body stays
      // for a look); never appended to the bytes of a package.
      if (plan.offset > 0) return true;
      keep = StartAt(0);
      return keep;
    case tov::ResumeVerdict::Continue:
      report.total = plan.expectedTotal;
      if (plan.fits && !plan.fits(plan.expectedTotal - plan.offset)) return false;
      if (!StartAt(plan.offset)) return false;
      LOG_INFO(L"download resumed at " + std::to_wstring(plan.offset) + L" of " +
                   std::to_wstring(plan.expectedTotal) + L" bytes",
               kOp);
      break;
    case tov::ResumeVerdict::TakeWhole:
      report.total = length > 0 ? static_cast<int64_t>(length) : 0;
      if (plan.fits && length > 0 && !plan.fits(static_cast<int64_t>(length))) return false;
      if (!StartAt(0)) return false;
      break;
  }
  keep = true;
  sink.digest = report.digest.get();
  std::string validator = tov::ChooseValidator(etag, lastModified);
  // A range answer need not repeat the validator it was asked under.
  if (validator.empty() && report.verdict == tov::ResumeVerdict::Continue) validator = plan.ifRange;
  if (plan.accepted) plan.accepted(report.total, validator);
  return true;
}

size_t OnAttemptHeader(char* data, size_t size, size_t count, void* user) noexcept {
  const size_t n = size * count;
  auto* run = static_cast<AttemptRun*>(user);
  try {
    if (!IsBlankHeaderLine(data, n)) {
      run->Header(std::string(data, n));
      return n;
    }
    return run->Decide() ? n : 0;
  } catch (...) {
    return 0;
  }
}

size_t OnAttemptBody(char* data, size_t size, size_t count, void* user) noexcept {
  auto* run = static_cast<AttemptRun*>(user);
  if (!run->keep) return 0;
  return WritePackageData(data, size, count, &run->sink);
}

int OnAttemptInfo(void* user, curl_off_t total, curl_off_t done, curl_off_t, curl_off_t) noexcept {
  auto* run = static_cast<AttemptRun*>(user);
  // libcurl asks after every block and at least once a second: the close
  // ends the transfer here, with every block taken so far in the file, and
  // no thread is ended inside a socket call.
  if (run->plan.barrier->Closed()) return 1;
  // A resumed download shows nothing until its rest is on the way: the bar
  // would fall back to the start meanwhile.
  if (run->plan.offset > 0 && !run->keep) return 0;
  int64_t whole = total > 0 ? run->base + static_cast<int64_t>(total) : 0;
  try {
    if (run->plan.progress) run->plan.progress(whole, run->base + static_cast<int64_t>(done));
  } catch (...) {
    return 1;
  }
  return 0;
}

struct SlistFree {
  void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};

}  // namespace

FILE* OpenPackageFile(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  // Nothing is kept back by the C runtime: WritePackageData hands the data
  // to the file's handle itself.
  if (file) std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

size_t WritePackageData(char* data, size_t size, size_t count, void* sink) noexcept {
  auto* target = static_cast<PackageSink*>(sink);
  if (!target || !target->file || target->file == INVALID_HANDLE_VALUE) return 0;
  if (size == 0 || count == 0 || count > ULONG_MAX / size) return 0;
  if (target->admit && *target->admit) {
    const uint64_t before = target->written ? static_cast<uint64_t>(*target->written) : 0;
    try {
      if (!(*target->admit)(before, static_cast<uint64_t>(size) * count)) return 0;
    } catch (...) {
      return 0;
    }
  }
  // Hashed here, on libcurl's thread, while the block is in the cache:
  // checking the package costs no second pass over the file.
  if (target->digest && !target->digest->Add(data, size * count)) return 0;
  // What libcurl delivers at once goes to the file system in one write. The
  // C runtime's fwrite copies every byte through its buffer or splits an
  // unbuffered write into small pieces; either costs about as much CPU as
  // the whole transfer besides.
  DWORD written = 0;
  // A short write (a full disk) makes libcurl abort with a write error.
  if (!::WriteFile(target->file, data, static_cast<DWORD>(size * count), &written, nullptr)) return 0;
  if (target->written) *target->written += written;
  return written / size;
}

PackageTransfer::PackageTransfer() : m_curl(curl_easy_init()) {}

DownloadOutcome PackageTransfer::Run(const std::string& url, FILE* file,
                                     const DownloadProgressFn& progress,
                                     const AnnouncedLengthCheck& fits, PackageDigest* digest) {
  DownloadOutcome outcome;
  CURL* curl = m_curl.get();
  if (!curl) return outcome;
  LengthWatch watch{curl, fits};
  ApplyTransferLimits(curl, url, kOp);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WritePackageData);
  HANDLE handle = file ? reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))) : nullptr;
  PackageSink sink{handle, digest};
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnTransferInfo);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &progress);
  if (fits) {
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeaderLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &watch);
  }
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBlock);
  outcome.curlResult = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &outcome.httpStatus);
  // Released at once: its cached connection is of no use to the extraction.
  m_curl.reset();
  return outcome;
}

PackageTransfer::AttemptReport PackageTransfer::Try(const std::string& url, const Attempt& attempt) {
  AttemptReport report;
  report.end.end = tov::TransferEnd::Local;
  CURL* curl = m_curl.get();
  if (!curl) return report;
  AttemptRun run(curl, attempt, report);
  ApplyTransferLimits(curl, url, kOp);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnAttemptHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &run);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnAttemptBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &run);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnAttemptInfo);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &run);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBlock);
  std::string range = std::to_string(attempt.offset) + "-";
  curl_easy_setopt(curl, CURLOPT_RANGE, attempt.offset > 0 ? range.c_str() : nullptr);
  std::unique_ptr<curl_slist, SlistFree> headers;
  if (attempt.offset > 0 && !attempt.ifRange.empty()) {
    headers.reset(curl_slist_append(nullptr, ("If-Range: " + attempt.ifRange).c_str()));
  }
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
  CURLcode code = curl_easy_perform(curl);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
  report.outcome.curlResult = code;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &report.outcome.httpStatus);
  report.end.httpStatus = report.outcome.httpStatus;
  report.end.end = TransferEndOf(code);
  // An answer that is no package data was stopped on purpose; its status
  // says what it was.
  if (report.verdict == tov::ResumeVerdict::NotPackage && report.outcome.httpStatus != 0 &&
      report.end.end == tov::TransferEnd::Local && !report.digestFailed) {
    report.end.end = tov::TransferEnd::Complete;
  }
  if (report.digest && !report.digest->ok()) report.digestFailed = true;
  return report;
}

DownloadOutcome DownloadToFile(const std::string& url, FILE* file, const DownloadProgressFn& progress,
                               PackageDigest* digest) {
  PackageTransfer transfer;
  return transfer.Run(url, file, progress, nullptr, digest);
}
