// The content panel: the window over the main window's picture that holds
// the web page, the progress bar and the status texts.
#pragma once
#include <windows.h>

#include <string>

#include "ui/dialog_win.h"
#include "ui/progress_display.h"
#include "web/login_launch.h"

class CWebDlg;

class CWebCDlg : public CDialogBase, private tov::ProvisioningControls {
 public:
  // `mainWindow` owns the panel; the game launch hides it and ends its
  // modal run.
  explicit CWebCDlg(CWebDlg* mainWindow);
  ~CWebCDlg() override;

  // The installed client is current: called once by the provisioning worker
  // on its own thread. Starts the game there when the login came first.
  void SetReady();

  // Script calls from the page, on the user-interface thread: logs the call
  // and runs the operation it names; returns the text the page gets.
  std::wstring JavascriptToCPLUSPLUS(const std::wstring& method, const std::wstring& params);
  // The page's "LoginResult": starts the game when the client is ready.
  void OnLoginResult(const std::wstring& params);
  // Starts the game client with the login parameters; on success hides the
  // launcher and ends its run. On whichever thread completed the gate.
  void LaunchGame();

  // Logs the address and sends the embedded page to it. Any thread; does
  // nothing but log once the panel's window is gone.
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
  // The login and ready flags: set and tested under one lock so that the
  // game starts exactly once.
  tov::LaunchGate m_launchGate;
  // Written before the login passes the gate, read by LaunchGame after it:
  // the gate's lock orders the two.
  std::wstring m_strLoginParams;
  PROCESS_INFORMATION m_gameProcess{};
};
