// The content panel: the window over the main window's picture that holds
// the web page, the progress bar and the status texts. Its background is
// black, and black is its colour key, so only its controls are seen and
// clicks on the rest fall through to the picture beneath.
#pragma once
#include <windows.h>

#include <string>

#include "base/unique_handle.h"
#include "ui/dialog_win.h"
#include "ui/progress_display.h"
#include "ui/skinned_controls_win.h"
#include "ui/taskbar_button_win.h"
#include "ui/taskbar_state.h"

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
  // The download pauses before a retry (true) or goes on; the taskbar
  // button says so.
  void SetTransferWaiting(bool waiting);

  // Lays the template's controls out over a picture of `size` pixels: the
  // template's box is mapped onto the picture, so the controls land on the
  // same pixels whatever font the system gives dialog units (the picture
  // is a fixed bitmap; dialog units of another font would move them off
  // its open areas).
  void LayOutOver(SIZE size);

  // Configured by the main window, which also sets m_bShowCloseButton.
  CDUIButton m_closeButton;
  int m_bShowCloseButton = 0;

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
  void OnPaint();
  void UpdateTaskbar();

  CWebDlg* m_pMainWindow;
  HICON m_hIcon;
  tov::UniqueGdiObject m_brush;
  // Set once the phase label has been named for the download / extraction;
  // each name is put once per run.
  int m_bDownloadLabelSet = 0;
  int m_bUnzipLabelSet = 0;
  CGradientProgressCtrl m_progress;
  CStaticEx m_phaseLabel;
  CStaticEx m_percentText;
  CStaticEx m_statusText;
  // What the provisioning controls show, as the taskbar button follows it.
  tov::PanelState m_panelState;
  TaskbarButton m_taskbar;
};

// Draws `icon` centred in the client area of a minimised window.
void PaintMinimisedIcon(HWND window, HICON icon);
