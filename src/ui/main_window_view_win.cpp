#include "ui/main_window_view.h"

#include "base/launcher_log.h"
#include "provisioning/config_value.h"
#include "web/page_guard_win.h"
#include "web/page_rules.h"
#include "ui/main_window.h"
#include "ui/window_calls_win.h"

template <typename Call>
bool MainWindowView::OnMainWindow(Call&& call) {
  const CWebDlg* key = m_mainWindow.load();
  // The key is followed only here, on the window's thread while the window
  // exists: the object owns the window and destroys it before it goes.
  return key && tov::CallOnWindowThread(key, [&] { call(*const_cast<CWebDlg*>(key)); });
}

bool MainWindowView::HasContentPanel() {
  bool has = false;
  OnMainWindow([&](CWebDlg& window) { has = window.ContentPanel() != nullptr; });
  return has;
}

void MainWindowView::UpdateProgress(std::wstring statusText, std::wstring percentText,
                                    int position, int isDownload) {
  OnMainWindow([&](CWebDlg& window) {
    if (CWebCDlg* panel = window.ContentPanel()) {
      panel->ApplyProgress(statusText, percentText, position, isDownload);
    }
  });
}

void MainWindowView::ShowPanelControl(tov::PanelControl control, bool visible) {
  OnMainWindow([&](CWebDlg& window) {
    if (CWebCDlg* panel = window.ContentPanel()) panel->ShowControl(control, visible);
  });
}

void MainWindowView::InitWebBrower(const std::wstring& url) {
  // A keyed build's page stays on the hosts its signed configuration names:
  // the entry's and those of PageHosts. Without any, no host is allowed (an
  // empty name matches none), never every host.
  const tov::RemoteConfig* config = tov::AcceptedRemoteConfig();
  if (config && config->sealed) {
    std::wstring extra;
    for (const std::wstring& host : config->pageHosts) extra += host + L";";
    std::vector<std::wstring> hosts = tov::AllowedPageHosts(config->entryUrl, extra);
    if (hosts.empty()) hosts.push_back(L"");
    UseKeyedPageHosts(std::move(hosts));
  }
  OnMainWindow([&](CWebDlg& window) {
    if (CWebCDlg* panel = window.ContentPanel()) panel->InitWebBrower(url);
  });
}

void MainWindowView::ShowTransferWaiting(bool waiting) {
  OnMainWindow([&](CWebDlg& window) {
    if (CWebCDlg* panel = window.ContentPanel()) panel->SetTransferWaiting(waiting);
  });
}

void MainWindowView::SetReady() {
  // Outside any window call: the launch it may start waits for the
  // user-interface thread itself.
  if (HasContentPanel()) m_launch.SetReady();
}

void MainWindowView::HideLauncher() {
  OnMainWindow([](CWebDlg& window) { ::ShowWindow(window.GetSafeHwnd(), SW_HIDE); });
}

HWND MainWindowView::BoxOwner() {
  HWND owner = nullptr;
  OnMainWindow([&](CWebDlg& window) { owner = window.GetSafeHwnd(); });
  return owner;
}

void MainWindowView::Cancel() {
  LOG_INFO(L"Laucher Stop", "CWebDlg::Cancel");
  OnMainWindow([](CWebDlg& window) { window.EndDialog(IDCANCEL); });
}
