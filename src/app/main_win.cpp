// Entry point of TovLauncher.exe.
#include <windows.h>

#include "app/web_app.h"
#include "base/system_libraries_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  tov::KeepLibrarySearchInSystemDirectory();
  return GetWebApp().Run(LauncherVariant{});
}
