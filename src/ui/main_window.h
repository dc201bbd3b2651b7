// The launcher's main window.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "ui/content_panel.h"
#include "ui/dialog_win.h"
#include "ui/progress_display.h"
#include "ui/main_window_view.h"
#include "web/script_bridge.h"

// While it exists, the main window receives the page's script calls. The
// worker and the game launch reach it only through `view`.
class CWebDlg : public CDialogBase, public ScriptCallReceiver {
 public:
  explicit CWebDlg(MainWindowView& view);
  ~CWebDlg() override;

  // The content panel while it has a window, else null. On the window's
  // thread only.
  CWebCDlg* ContentPanel() const;
  // Ends the modal run with IDOK (the panel's close button). Safe from any
  // thread; logs even when the window is gone.
  void Close();

  // A script call from the page, on the user-interface thread: the launch's
  // answer, or empty (and nothing logged) without a panel.
  std::wstring DispatchScriptCall(const std::wstring& method, const std::wstring& params) override;

 protected:
  BOOL OnInitDialog() override;
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;
  bool PreTranslateMessage(MSG* msg) override;

 private:
  HWND PanelWindow() const;
  // Makes the panel and starts the worker, once the window shows.
  void OnShown();
  // Pushes the background picture (PNG 134) as the layered window's image;
  // the window takes the picture's size.
  void PaintLayeredBackground();

  MainWindowView& m_view;
  HICON m_hIcon;
  std::unique_ptr<CWebCDlg> m_pContentPanel;
};
