// Entry point of TovLauncher.exe.
#include <curl/curl.h>
#include <windows.h>

#include <unzip.h>
#include <iowin32.h>

#include <cstdio>
#include <string>

// First cut of the executable: proves that the statically linked libcurl and
// minizip work inside the real Windows program. It writes what it found to
// TovLauncher.log in the working directory; an optional argument names a zip
// archive whose entry count is logged.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR cmdLine, int) {
  FILE* f = _wfopen(L"TovLauncher.log", L"w");
  if (!f) return 1;
  std::fprintf(f, "curl: %s\n", curl_version());
  if (cmdLine && *cmdLine) {
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    unzFile zip = unzOpen2_64(cmdLine, &io);
    unz_global_info64 info{};
    if (zip && unzGetGlobalInfo64(zip, &info) == UNZ_OK) {
      std::fprintf(f, "zip entries: %llu\n", static_cast<unsigned long long>(info.number_entry));
    } else {
      std::fprintf(f, "zip: cannot open\n");
    }
    if (zip) unzClose(zip);
  }
  std::fclose(f);
  return 0;
}
