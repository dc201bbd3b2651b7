// The content panel: the window over the main window's picture that holds
// the web page, the progress bar and the status texts.
#pragma once
#include <windows.h>

#include <string>

#include "ui/dialog_win.h"
#include "ui/progress_display.h"

class CWebDlg;

class CWebCDlg : public CDialogBase, private tov::ProvisioningControls {
 public:
  // `mainWindow` owns the panel.
  explicit CWebCDlg(CWebDlg* mainWindow);
  ~CWebCDlg() override;

  // Logs the address and sends the embedded page to it; on the panel's
  // thread (the main window's view carries the worker's request here).
  void InitWebBrower(const std::wstring& url);

  // On the panel's own thread: one progress report, and one control shown
  // or hidden. The main window carries the worker's requests here.
  void ApplyProgress(const std::wstring& statusText, const std::wstring& percentText, int position,
                     int isDownload);
  void ShowControl(tov::PanelControl control, bool visible);

 protected:
  BOOL OnInitDialog() override;
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;
  bool PreTranslateMessage(MSG* msg) override;

 private:
  int Position() override;
  void SetPosition(int position) override;
  void SetText(tov::PanelControl control, const std::wstring& text) override;
  void Show(tov::PanelControl control, bool visible) override;
  HWND Control(tov::PanelControl control) const;

  // Set once the phase label has been named for the download / extraction;
  // each name is put once per run.
  int m_bDownloadLabelSet = 0;
  int m_bUnzipLabelSet = 0;

  CWebDlg* m_pMainWindow;
};
