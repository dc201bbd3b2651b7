// The host of the content panel's web control (the window class that the
// panel's template names for control 1005). The launcher's own host puts
// the system's WebBrowser control into that window; the window also keeps
// the address it was last sent to as its text. The test build puts a host
// of its own in its place through UseBrowserHost, before any window is made.
#pragma once
#include <windows.h>

#include <string>

class CCustomControlSite;

class BrowserHost {
 public:
  // Registers the control's window class once per process; true when it is
  // registered.
  virtual bool RegisterWindowClass() = 0;
  // Sends the control to `url` (no flags, target frame, post data or
  // headers). A null `host` does nothing.
  virtual void Navigate(HWND host, const std::wstring& url) = 0;

 protected:
  ~BrowserHost() = default;
};

// The host in force: the launcher's own unless one was put in its place.
BrowserHost& CurrentBrowserHost();
// `host` must outlive every window; null restores the launcher's own.
void UseBrowserHost(BrowserHost* host);

// The class id the panel's template gives its web control.
inline constexpr const wchar_t* kBrowserClassId = L"{8856F961-340A-11D0-A96B-00C04FD705A2}";

// Registers the control's window class with `windowProc`, for a host's
// RegisterWindowClass; true when the class is registered.
bool RegisterBrowserClass(WNDPROC windowProc);

// The site of the launcher's own host in window `host`; null for another
// host's window or where the system has no browser control.
CCustomControlSite* BrowserSiteOf(HWND host);
