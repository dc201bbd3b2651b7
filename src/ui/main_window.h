// The launcher's main window.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "ui/content_panel.h"
#include "ui/dialog_win.h"
#include "ui/progress_display.h"
#include "web/script_bridge.h"

// While it exists, the main window receives the page's script calls.
class CWebDlg : public CDialogBase, public ScriptCallReceiver {
 public:
  CWebDlg();
  ~CWebDlg() override;

  // The operations the provisioning worker and the game launch use. Each
  // runs on the window's thread while the caller waits, so they are safe
  // from any thread; once the window is gone they do nothing (Close and
  // Cancel still log).
  void UpdateProgress(std::wstring statusText, std::wstring percentText, int position,
                      int isDownload);
  void ShowPanelControl(tov::PanelControl control, bool visible);
  // The content panel while it has a window, else null.
  CWebCDlg* ContentPanel() const;
  // End the modal run: Close with IDOK (the panel's close button), Cancel
  // with IDCANCEL (after the game has started).
  void Close();
  void Cancel();

  // A script call from the page, on the user-interface thread: the panel's
  // answer, or empty (and nothing logged) without a panel.
  std::wstring DispatchScriptCall(const std::wstring& method, const std::wstring& params) override;

 protected:
  bool OnCreate() override;
  BOOL OnInitDialog() override;
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;
  bool PreTranslateMessage(MSG* msg) override;

 private:
  HWND PanelWindow() const;

  HICON m_hIcon;
  std::unique_ptr<CWebCDlg> m_pContentPanel;
};
