// The main window as the provisioning worker and the game launch see it. It
// is owned by the application object and outlives every thread that calls
// it; it names the main window by a key and follows it only inside a call
// that the user-interface thread runs while the window exists, so a worker
// that calls after the window is gone changes nothing.
#pragma once
#include <atomic>
#include <string>

#include "provisioning/provisioning_view.h"
#include "web/game_launch.h"

class CWebDlg;

class MainWindowView final : public ProvisioningView, public LauncherWindowCalls {
 public:
  MainWindowView() : m_launch(*this) {}
  MainWindowView(const MainWindowView&) = delete;
  MainWindowView& operator=(const MainWindowView&) = delete;

  // The main window names itself when it is made, on its own thread.
  void Bind(const CWebDlg* mainWindow) { m_mainWindow.store(mainWindow); }
  // A later window at the same address must not be taken for this one.
  void Unbind(const CWebDlg* mainWindow) { m_mainWindow.compare_exchange_strong(mainWindow, nullptr); }
  GameLaunch& Launch() { return m_launch; }

  bool HasContentPanel() override;
  void UpdateProgress(std::wstring statusText, std::wstring percentText, int position,
                      int isDownload) override;
  void ShowPanelControl(tov::PanelControl control, bool visible) override;
  void InitWebBrower(const std::wstring& url) override;
  void SetReady() override;
  void ShowTransferWaiting(bool waiting) override;

  void HideLauncher() override;
  void Cancel() override;
  HWND BoxOwner() override;

 private:
  // Runs `call` with the main window on its thread; false when it is gone.
  template <typename Call>
  bool OnMainWindow(Call&& call);

  std::atomic<const CWebDlg*> m_mainWindow{nullptr};
  GameLaunch m_launch;
};
