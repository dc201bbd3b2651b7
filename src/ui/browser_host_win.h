// The window class that the content panel's template names for its web
// control. Until the browser control is hosted in it, it is a plain window
// that keeps the address it was last sent to as its text.
#pragma once
#include <windows.h>

#include <string>

// Registers the class once per process; true when it is registered.
bool RegisterBrowserHostClass();

// Sends the control to `url` (no flags, target frame, post data or headers).
void NavigateBrowserHost(HWND host, const std::wstring& url);
