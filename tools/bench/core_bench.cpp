// Times the launcher's download and extraction cores on their own, without
// windows, so the benchmark can tell their cost from the cost of showing
// progress (scripts/bench-install.sh compares both with the real launcher).
//   core_bench.exe download URL FILE
//   core_bench.exe download-sha256 URL FILE   (hashed as it arrives, as a
//                                             package with a configured
//                                             SHA-256 is; prints the digest)
//   core_bench.exe extract ARCHIVE WORKDIR   (the log written as in the launcher)
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/app_state.h"
#include "base/launcher_log.h"
#include "base/text_win.h"
#include "provisioning/package_digest_win.h"
#include "provisioning/package_download.h"
#include "provisioning/package_extract.h"

namespace {

class Stopwatch {
 public:
  Stopwatch() {
    ::QueryPerformanceFrequency(&m_freq);
    ::QueryPerformanceCounter(&m_start);
  }
  double Seconds() const {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return double(now.QuadPart - m_start.QuadPart) / double(m_freq.QuadPart);
  }

 private:
  LARGE_INTEGER m_freq, m_start;
};

int Download(const std::wstring& url, const std::wstring& path, bool hashed) {
  FILE* file = OpenPackageFile(path);
  if (!file) return 2;
  long long calls = 0;
  Stopwatch clock;
  // Made inside the timing, as the launcher makes it for each download.
  PackageDigest digest;
  DownloadOutcome outcome = DownloadToFile(WideToAnsi(url), file, [&](int64_t, int64_t) { ++calls; },
                                           hashed ? &digest : nullptr);
  bool closed = std::fclose(file) == 0;
  tov::Sha256Digest value{};
  bool digested = !hashed || digest.Finish(value);
  double seconds = clock.Seconds();
  bool ok = outcome.ok() && closed && digested;
  std::printf("%s progress_calls=%lld seconds=%.3f", ok ? "ok" : "failed", calls, seconds);
  if (hashed) std::printf(" sha256=%s", tov::ToHex(value.data(), value.size()).c_str());
  std::printf("\n");
  return ok ? 0 : 1;
}

int Extract(const std::wstring& archive, const std::wstring& work) {
  AppState& app = GetAppState();
  app.appName = L"core_bench";
  app.installRoot = work;
  app.clientDir = work + L"\\client";
  ::CreateDirectoryW(work.c_str(), nullptr);
  ::CreateDirectoryW(app.clientDir.c_str(), nullptr);
  GetLauncherLog();  // opened before the clock starts, as in the launcher

  unsigned long long entries = 0;
  Stopwatch clock;
  int ok = ExtractPackage(archive, app.clientDir, [&](const std::wstring&, int) { ++entries; });
  double seconds = clock.Seconds();
  std::printf("%s entries=%llu seconds=%.3f\n", ok ? "ok" : "failed", entries, seconds);
  return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring mode = argc > 1 ? argv[1] : L"";
  if (argc == 4 && mode == L"download") return Download(argv[2], argv[3], false);
  if (argc == 4 && mode == L"download-sha256") return Download(argv[2], argv[3], true);
  if (argc == 4 && mode == L"extract") return Extract(argv[2], argv[3]);
  std::fprintf(stderr, "usage: core_bench download|download-sha256 URL FILE | extract ARCHIVE WORKDIR\n");
  return 2;
}
