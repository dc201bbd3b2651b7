// The launcher's taskbar button as a progress display (ITaskbarList3). On
// the user-interface thread only, where COM is initialised.
#pragma once
#include <windows.h>

#include <shobjidl.h>

#include "base/com_ptr.h"
#include "ui/taskbar_state.h"

class TaskbarButton {
 public:
  // Shows `view` on `window`'s button when it differs from what was shown.
  // A shell without a taskbar list (or one that refuses) shows nothing.
  void Show(HWND window, const tov::TaskbarView& view);

 private:
  tov::ComPtr<ITaskbarList3> m_list;
  bool m_bTried = false;
  tov::TaskbarView m_shown;
};
