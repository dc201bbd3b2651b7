// Drives the launcher's windows from tests, inside the same Wine prefix.
//
//   guidriver wait  TITLE [CLASS] [TIMEOUT_MS]   wait until a window exists
//   guidriver gone  TITLE [CLASS] [TIMEOUT_MS]   wait until it no longer exists
//   guidriver texts TITLE [CLASS]                window text, then child texts
//   guidriver command TITLE CLASS ID             post WM_COMMAND ID (1 = OK, 6 = Yes, 7 = No)
//   guidriver close TITLE [CLASS]                send the system close command
//   guidriver state TITLE [CLASS]                visible, position and size
//
// CLASS "-" matches any class; message boxes have the class "#32770".
// Output is UTF-8. Exit code 0 on success, 1 when the window was not found.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void PrintUtf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fputc('\n', stdout);
}

HWND Find(const wchar_t* title, const wchar_t* cls) {
  const wchar_t* c = (cls && std::wstring(cls) != L"-") ? cls : nullptr;
  return FindWindowW(c, title);
}

std::wstring TextOf(HWND hwnd) {
  wchar_t buf[1024];
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG,
                           2000, &len)) {
    return L"";
  }
  return std::wstring(buf, len);
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
  wchar_t cls[64] = {};
  GetClassNameW(child, cls, 64);
  PrintUtf8(std::to_wstring(GetDlgCtrlID(child)) + L"\t" + cls + L"\t" +
            (IsWindowVisible(child) ? L"visible" : L"hidden") + L"\t" + TextOf(child));
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: guidriver wait|gone|texts|command|close|state TITLE [CLASS] ...\n");
    return 2;
  }
  std::wstring verb = argv[1];
  const wchar_t* title = argv[2];
  const wchar_t* cls = argc > 3 ? argv[3] : nullptr;

  if (verb == L"wait" || verb == L"gone") {
    DWORD timeout = argc > 4 ? static_cast<DWORD>(_wtoi(argv[4])) : 10000;
    DWORD start = GetTickCount();
    bool wantPresent = verb == L"wait";
    for (;;) {
      bool present = Find(title, cls) != nullptr;
      if (present == wantPresent) return 0;
      if (GetTickCount() - start > timeout) return 1;
      Sleep(50);
    }
  }

  HWND hwnd = Find(title, cls);
  if (!hwnd) return 1;
  if (verb == L"texts") {
    PrintUtf8(TextOf(hwnd));
    EnumChildWindows(hwnd, PrintChild, 0);
    return 0;
  }
  if (verb == L"command" && argc > 4) {
    PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(_wtoi(argv[4]), BN_CLICKED), 0);
    return 0;
  }
  if (verb == L"close") {
    PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
  }
  if (verb == L"state") {
    RECT r{};
    GetWindowRect(hwnd, &r);
    std::printf("%s %ld %ld %ld %ld\n", IsWindowVisible(hwnd) ? "visible" : "hidden", r.left, r.top,
                r.right - r.left, r.bottom - r.top);
    return 0;
  }
  return 2;
}
