#include "provisioning/package_download.h"

#include <windows.h>

#include <curl/curl.h>
#include <io.h>

#include <climits>

#include "provisioning/package_digest_win.h"


namespace {

struct LengthWatch {
  CURL* curl;
  const AnnouncedLengthCheck& fits;
};

// The blank line that ends a response's headers: the status and the length
// are known, and nothing of the body has been written yet.
size_t OnHeaderLine(char* data, size_t size, size_t count, void* user) noexcept {
  const size_t n = size * count;
  const auto* watch = static_cast<const LengthWatch*>(user);
  bool blank = (n == 2 && data[0] == '\r' && data[1] == '\n') || (n == 1 && data[0] == '\n');
  if (!blank) return n;
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
  if (!target || !target->file) return 0;
  FILE** stream = &target->file;
  if (size == 0 || count == 0) return 0;
  // Hashed here, on libcurl's thread, while the block is in the cache:
  // checking the package costs no second pass over the file.
  if (target->digest && !target->digest->Add(data, size * count)) return 0;
  // What libcurl delivers at once goes to the file system in one write. The
  // C runtime's fwrite copies every byte through its buffer or splits an
  // unbuffered write into small pieces; either costs about as much CPU as
  // the whole transfer besides.
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(*stream)));
  if (handle == INVALID_HANDLE_VALUE || count > ULONG_MAX / size) {
    return std::fwrite(data, size, count, *stream);
  }
  DWORD written = 0;
  // A short write (a full disk) makes libcurl abort with a write error.
  if (!::WriteFile(handle, data, static_cast<DWORD>(size * count), &written, nullptr)) return 0;
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
  ApplyTransferLimits(curl);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WritePackageData);
  PackageSink sink{file, digest};
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnTransferInfo);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &progress);
  if (fits) {
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeaderLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &watch);
  }
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  // Bigger reads than the default keep a fast local link from being limited
  // by per-read overhead (callbacks, window updates).
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 512L * 1024);
  outcome.curlResult = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &outcome.httpStatus);
  // Released at once: its cached connection is of no use to the extraction.
  m_curl.reset();
  return outcome;
}

DownloadOutcome DownloadToFile(const std::string& url, FILE* file, const DownloadProgressFn& progress,
                               PackageDigest* digest) {
  PackageTransfer transfer;
  return transfer.Run(url, file, progress, nullptr, digest);
}
