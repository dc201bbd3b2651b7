// Entry point of TovLauncher.exe.
#include <windows.h>

#include "app/web_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return GetWebApp().Run(LauncherVariant{}); }
