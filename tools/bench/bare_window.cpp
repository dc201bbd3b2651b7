// The least a Windows program can do to show a window of the launcher's size:
// the baseline of the benchmark's time to the first visible window.
//   bare_window.exe TITLE
// Built as bare_skinned_window.exe (TOV_SKINNED_BASELINE) it also does what
// any skinned window like the launcher's must before it shows: it carries
// the launcher's manifest (common controls 6), initialises the common
// controls and shows a layered window with a full-size alpha picture. That
// is the floor below which no rearranging of the launcher's start can go.
#include <windows.h>
#ifdef TOV_SKINNED_BASELINE
#include <commctrl.h>
#endif

namespace {
LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}
#ifdef TOV_SKINNED_BASELINE
void ShowPicture(HWND window, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP picture = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (picture) {
    for (int i = 0; i < width * height; ++i) static_cast<DWORD*>(bits)[i] = 0xFF336699;
    HGDIOBJ old = ::SelectObject(memory, picture);
    POINT origin{0, 0};
    SIZE size{width, height};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::UpdateLayeredWindow(window, screen, nullptr, &size, memory, &origin, 0, &blend, ULW_ALPHA);
    ::SelectObject(memory, old);
    ::DeleteObject(picture);
  }
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
}
#endif
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
#ifdef TOV_SKINNED_BASELINE
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);
  const DWORD exStyle = WS_EX_LAYERED;
#else
  const DWORD exStyle = 0;
#endif
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.lpszClassName = L"BareWindow";
  ::RegisterClassW(&wc);
  HWND window = ::CreateWindowExW(exStyle, wc.lpszClassName, commandLine, WS_POPUP, 100, 100, 1280, 714, nullptr,
                                  nullptr, instance, nullptr);
#ifdef TOV_SKINNED_BASELINE
  ShowPicture(window, 1280, 714);
#endif
  ::ShowWindow(window, SW_SHOW);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
  return 0;
}
