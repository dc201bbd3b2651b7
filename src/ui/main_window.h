// The launcher's main window.
#pragma once
#include <windows.h>

#include "ui/dialog_win.h"

class CWebDlg : public CDialogBase {
 public:
  CWebDlg();

 protected:
  BOOL OnInitDialog() override;
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;
  bool PreTranslateMessage(MSG* msg) override;

 private:
  HICON m_hIcon;
};
