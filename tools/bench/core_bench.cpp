// Times the launcher's extraction core on its own, without windows: a
// package unpacked with ExtractPackage into a fresh directory, the log
// written as in the launcher. Splits the cost of unpacking from the cost of
// showing it (compare with the launcher's own run in bench_install.py).
//   extract_bench.exe ARCHIVE WORKDIR
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/app_state.h"
#include "app/launcher_log.h"
#include "provisioning/package_extract.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: extract_bench ARCHIVE WORKDIR\n");
    return 2;
  }
  std::wstring work = argv[2];
  AppState& app = GetAppState();
  app.appName = L"extract_bench";
  app.installRoot = work;
  app.clientDir = work + L"\\client";
  ::CreateDirectoryW(work.c_str(), nullptr);
  ::CreateDirectoryW(app.clientDir.c_str(), nullptr);
  GetLauncherLog();  // opened before the clock starts, as in the launcher

  unsigned long long entries = 0;
  LARGE_INTEGER freq, t0, t1;
  ::QueryPerformanceFrequency(&freq);
  ::QueryPerformanceCounter(&t0);
  int ok = ExtractPackage(argv[1], app.clientDir, [&](const std::wstring&, int) { ++entries; });
  ::QueryPerformanceCounter(&t1);
  double seconds = double(t1.QuadPart - t0.QuadPart) / double(freq.QuadPart);
  std::printf("%s entries=%llu seconds=%.3f\n", ok ? "ok" : "failed", entries, seconds);
  return ok ? 0 : 1;
}
