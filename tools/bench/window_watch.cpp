// Watches a top-level window from outside for the install benchmark:
//   window_watch.exe TITLE STOPFILE [TIMEOUT_MS]
// Waits for a visible window of that caption and prints the wall-clock time
// it was first seen ("visible <unix microseconds>"). Then, every 20 ms until
// the window is gone or STOPFILE exists, pings it (SendMessageTimeout of
// WM_NULL) and reads its process's peak working set; prints one line per
// ping ("ping <unix microseconds> <latency microseconds>") and at the end
// "peak <bytes>". Exit 0, or 2 when no window came within the timeout.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

long long UnixMicros() {
  FILETIME ft;
  ::GetSystemTimePreciseAsFileTime(&ft);
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  return static_cast<long long>(t.QuadPart / 10) - 11644473600000000LL;
}

long long QpcMicros() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return now.QuadPart * 1000000 / freq.QuadPart;
}

HWND FindVisible(const wchar_t* title) {
  HWND window = ::FindWindowW(nullptr, title);
  return window && ::IsWindowVisible(window) ? window : nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: window_watch TITLE STOPFILE [TIMEOUT_MS]\n");
    return 1;
  }
  const wchar_t* title = argv[1];
  const wchar_t* stopFile = argv[2];
  const long long timeoutMs = argc > 3 ? std::wcstoll(argv[3], nullptr, 10) : 60000;

  const long long giveUp = QpcMicros() + timeoutMs * 1000;
  HWND window = nullptr;
  while (!(window = FindVisible(title))) {
    if (QpcMicros() > giveUp) return 2;
    ::Sleep(1);
  }
  std::printf("visible %lld\n", UnixMicros());
  std::fflush(stdout);

  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  SIZE_T peak = 0;
  long long next = QpcMicros();
  while (::IsWindow(window) && ::GetFileAttributesW(stopFile) == INVALID_FILE_ATTRIBUTES) {
    const long long sent = QpcMicros();
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
    std::printf("ping %lld %lld\n", UnixMicros(), QpcMicros() - sent);
    PROCESS_MEMORY_COUNTERS counters{};
    if (process && ::GetProcessMemoryInfo(process, &counters, sizeof counters) && counters.PeakWorkingSetSize > peak) {
      peak = counters.PeakWorkingSetSize;
    }
    next += 20000;
    const long long wait = next - QpcMicros();
    if (wait > 0) ::Sleep(static_cast<DWORD>(wait / 1000));
    else next = QpcMicros();
  }
  std::printf("peak %llu\n", static_cast<unsigned long long>(peak));
  if (process) ::CloseHandle(process);
  return 0;
}
