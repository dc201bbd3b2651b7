#include "ui/taskbar_button_win.h"

void TaskbarButton::Show(HWND window, const tov::TaskbarView& view) {
  if (view == m_shown || !window) return;
  if (!m_bTried) {
    m_bTried = true;
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                  reinterpret_cast<void**>(m_list.put()))) ||
        FAILED(m_list->HrInit())) {
      m_list = tov::ComPtr<ITaskbarList3>();
    }
  }
  if (!m_list) return;
  m_shown = view;
  TBPFLAG flag = TBPF_NOPROGRESS;
  switch (view.mode) {
    case tov::TaskbarMode::None:
      break;
    case tov::TaskbarMode::Normal:
      flag = TBPF_NORMAL;
      break;
    case tov::TaskbarMode::Paused:
      flag = TBPF_PAUSED;
      break;
    case tov::TaskbarMode::Error:
      flag = TBPF_ERROR;
      break;
  }
  // The value first: setting it turns a button without progress to normal.
  if (flag != TBPF_NOPROGRESS) m_list->SetProgressValue(window, static_cast<ULONGLONG>(view.percent), 100);
  m_list->SetProgressState(window, flag);
}
