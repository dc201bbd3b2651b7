// Drives the launcher's windows from tests, inside the same Wine prefix.
//
//   guidriver wait  TITLE [CLASS] [TIMEOUT_MS]   wait until a window exists
//   guidriver gone  TITLE [CLASS] [TIMEOUT_MS]   wait until it no longer exists
//   guidriver texts TITLE [CLASS]                window text, then child texts
//   guidriver command TITLE CLASS ID             post WM_COMMAND ID (1 = OK, 6 = Yes, 7 = No)
//   guidriver close TITLE [CLASS]                send the system close command; prints
//                                                "posted <unix microseconds>"
//   guidriver state TITLE [CLASS]                visible, position and size, then
//                                                "maximized" or "normal"
//   guidriver owned TITLE [CLASS]                the windows it owns: one line
//                                                "owned CLASS visible|hidden X Y W H TEXT",
//                                                then child lines as in texts, with
//                                                a fifth field: a progress bar's position,
//                                                and a sixth: "X Y W H" in the owned window
//   guidriver show TITLE CLASS 0|1               hide or show the window
//   guidriver closeowned TITLE                   send the system close command to
//                                                the window TITLE owns
//   guidriver spoilres EXE ID                    replace the PNG resource ID of EXE with
//                                                bytes that are no image
//   guidriver box TEXT [TIMEOUT_MS]              wait for a dialog box showing TEXT
//   guidriver answer TEXT ID                     press button ID of the box showing TEXT
//
// The box verbs tell apart message boxes that share a caption.
// CLASS "-" matches any class; message boxes have the class "#32770".
// Output is UTF-8. Exit code 0 on success, 1 when the window was not found.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

struct BoxSearch {
  std::wstring text;
  HWND found = nullptr;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM lp) {
  auto* search = reinterpret_cast<BoxSearch*>(lp);
  if (TextOf(child).find(search->text) != std::wstring::npos) {
    search->found = GetAncestor(child, GA_ROOT);
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK MatchBox(HWND top, LPARAM lp) {
  wchar_t cls[16] = {};
  GetClassNameW(top, cls, 16);
  if (std::wstring(cls) != L"#32770" || !IsWindowVisible(top)) return TRUE;
  auto* search = reinterpret_cast<BoxSearch*>(lp);
  EnumChildWindows(top, MatchChild, lp);
  return search->found ? FALSE : TRUE;
}

HWND FindBox(const std::wstring& text) {
  BoxSearch search{text};
  EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct OwnedSearch {
  HWND owner;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectOwned(HWND hwnd, LPARAM lp) {
  auto* search = reinterpret_cast<OwnedSearch*>(lp);
  if (GetWindow(hwnd, GW_OWNER) == search->owner) search->found.push_back(hwnd);
  return TRUE;
}

BOOL CALLBACK PrintChildWithPosition(HWND child, LPARAM) {
  wchar_t cls[64] = {};
  GetClassNameW(child, cls, 64);
  std::wstring extra;
  if (std::wstring(cls) == PROGRESS_CLASSW) {
    DWORD_PTR pos = 0;
    if (SendMessageTimeoutW(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &pos))
      extra = std::to_wstring(static_cast<int>(pos));
  }
  // Where the control lies in its top-level window, in pixels.
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, GetAncestor(child, GA_ROOT), reinterpret_cast<POINT*>(&r), 2);
  PrintUtf8(std::to_wstring(GetDlgCtrlID(child)) + L"\t" + cls + L"\t" +
            (IsWindowVisible(child) ? L"visible" : L"hidden") + L"\t" + TextOf(child) + L"\t" +
            extra + L"\t" + std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " +
            std::to_wstring(r.right - r.left) + L" " + std::to_wstring(r.bottom - r.top));
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: guidriver wait|gone|texts|command|close|state|owned TITLE [CLASS] ...\n");
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

  if (verb == L"spoilres" && argc > 3) {
    // Wine does not delete resources, so the image is replaced instead.
    HANDLE update = BeginUpdateResourceW(argv[2], FALSE);
    if (!update) return 1;
    char junk[] = "this is no picture";
    BOOL replaced = UpdateResourceW(update, L"PNG", MAKEINTRESOURCEW(_wtoi(argv[3])),
                                    MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), junk,
                                    sizeof junk);
    return EndUpdateResourceW(update, !replaced) && replaced ? 0 : 1;
  }
  if (verb == L"box") {
    DWORD timeout = argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 10000;
    DWORD start = GetTickCount();
    while (!FindBox(title)) {
      if (GetTickCount() - start > timeout) return 1;
      Sleep(50);
    }
    return 0;
  }
  if (verb == L"answer" && argc > 3) {
    HWND box = FindBox(title);
    if (!box) return 1;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(_wtoi(argv[3]), BN_CLICKED), 0);
    return 0;
  }

  HWND hwnd = Find(title, cls);
  if (!hwnd) return 1;
  if (verb == L"texts") {
    PrintUtf8(TextOf(hwnd));
    EnumChildWindows(hwnd, PrintChild, 0);
    return 0;
  }
  if (verb == L"owned") {
    OwnedSearch search{hwnd, {}};
    EnumWindows(CollectOwned, reinterpret_cast<LPARAM>(&search));
    for (HWND owned : search.found) {
      wchar_t ownedClass[64] = {};
      GetClassNameW(owned, ownedClass, 64);
      RECT r{};
      GetWindowRect(owned, &r);
      PrintUtf8(std::wstring(L"owned\t") + ownedClass + L"\t" +
                (IsWindowVisible(owned) ? L"visible" : L"hidden") + L"\t" +
                std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " +
                std::to_wstring(r.right - r.left) + L" " + std::to_wstring(r.bottom - r.top) +
                L"\t" + TextOf(owned));
      EnumChildWindows(owned, PrintChildWithPosition, 0);
    }
    return 0;
  }
  if (verb == L"show" && argc > 4) {
    ShowWindow(hwnd, _wtoi(argv[4]) ? SW_SHOW : SW_HIDE);
    return 0;
  }
  if (verb == L"closeowned") {
    OwnedSearch search{hwnd, {}};
    EnumWindows(CollectOwned, reinterpret_cast<LPARAM>(&search));
    if (search.found.empty()) return 1;
    PostMessageW(search.found.front(), WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
  }
  if (verb == L"command" && argc > 4) {
    PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(_wtoi(argv[4]), BN_CLICKED), 0);
    return 0;
  }
  if (verb == L"close") {
    PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    // The driver's own start under Wine takes longer than some of what is
    // timed from the close: the benchmark times from here instead.
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    std::printf("posted %lld\n", static_cast<long long>(t.QuadPart / 10) - 11644473600000000LL);
    return 0;
  }
  if (verb == L"state") {
    RECT r{};
    GetWindowRect(hwnd, &r);
    std::printf("%s %ld %ld %ld %ld %s\n", IsWindowVisible(hwnd) ? "visible" : "hidden", r.left, r.top,
                r.right - r.left, r.bottom - r.top, IsZoomed(hwnd) ? "maximized" : "normal");
    return 0;
  }
  return 2;
}
