// The launcher's main window as the window tests run it: with a view of its
// own that is never freed, because the window's real worker may still call
// it after the test, as it may in the launcher after the window is gone.
#pragma once
#include <windows.h>

#include "ui/main_window.h"
#include "ui/window_calls_win.h"

struct LauncherUnderTest {
  MainWindowView& view = *new MainWindowView();
  CWebDlg dlg{view};

  // The panel's window, asked on the window's thread; null without one.
  HWND PanelWindow() {
    HWND panel = nullptr;
    tov::CallOnWindowThread(&dlg, [&] {
      if (CWebCDlg* p = dlg.ContentPanel()) panel = p->GetSafeHwnd();
    });
    return panel;
  }
};
