// Every message box of the launcher goes through here, so tests can see
// which box would be shown and answer it.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <functional>
#include <string>

namespace tov {

struct MessageBoxCall {
  HWND owner;
  std::wstring text;
  std::wstring caption;
  UINT flags;
};

// Returns the button the user pressed (IDOK, IDYES, ...).
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags);

// The standard box of the application: AppName as caption, and an OK box
// without an icon gets the warning icon.
int AppMessageBox(const std::wstring& text, UINT flags, HWND owner = nullptr);

// In-process tests answer boxes instead of showing them. Pass an empty
// function to show real boxes again.
void SetMessageBoxHook(std::function<int(const MessageBoxCall&)> hook);

}  // namespace tov
#endif
