// The update decision: the installed client's version against the lowest
// one the configuration accepts, and the ending when no download is needed.
#include <cstdio>
#include <memory>

#include "base/app_state.h"
#include "base/launcher_log.h"
#include "base/launcher_settings.h"
#include "base/ansi_text_win.h"
#include "provisioning/desktop_integration.h"
#include "provisioning/game_remote_config.h"
#include "provisioning/launcher_copy_win.h"
#include "ui/main_window.h"

namespace {

constexpr const char* kOp = "CGameRemoteConfig::InitRemoteConfig";
constexpr const wchar_t* kVersionFileName = L"game_client_version.txt";
// The first line is read into a buffer of this many bytes, its end included.
constexpr int kVersionLineBuffer = 64;

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

// Reads the installed client's version, or records that there is none.
void ReadLocalClientVersion() {
  std::wstring path = GetAppState().clientDir + L"\\" + kVersionFileName;
  LOG_INFO(path, kOp);
  std::unique_ptr<FILE, FileCloser> file(_wfopen(path.c_str(), L"rt"));
  if (!file) {
    GetAppState().firstInstall = 1;
    return;
  }
  char line[kVersionLineBuffer] = {};
  if (!std::fgets(line, sizeof line, file.get())) line[0] = '\0';
  CGameRemoteConfig::CStringToLocalClientVersion(&LocalClientVersion(), AnsiToWide(line));
}

// The client is current: the launcher still makes itself reachable from
// InstallRoot, as after an install, and the panel becomes ready.
void FinishUpToDate(CWebDlg* mainWindow) {
  tov::SetRegisties();
  std::wstring workPath = RunningLauncherPath();
  std::wstring destPath =
      tov::InstalledLauncherPath(GetAppState().installRoot, LauncherSettings::GameTitle);
  LOG_INFO(L"work_path:" + workPath, kOp);
  LOG_INFO(L"dest_path:" + destPath, kOp);
  // Links to a launcher copy that is not there would lead nowhere.
  if (CopyLauncher(workPath, destPath) == 0) tov::CreateShortcuts();
  CGameRemoteConfig::ShowStatusText(mainWindow, L"更新已完成");
  if (CWebCDlg* panel = mainWindow->ContentPanel()) panel->SetReady();
  LOG_INFO(L"update finish!", kOp);
}

}  // namespace

LocalClientVersionRecord& LocalClientVersion() {
  static LocalClientVersionRecord record;
  return record;
}

void CGameRemoteConfig::CStringToLocalClientVersion(LocalClientVersionRecord* record,
                                                     const std::wstring& text) {
  if (!record) return;
  LOG_INFO(L"local_client_version:" + text, "CGameRemoteConfig::CStringToLocalClientVersion");
  *record = tov::ParseClientVersion(text);
}

void CGameRemoteConfig::DecideClientUpdate(CWebDlg* mainWindow) {
  ReadLocalClientVersion();

  LocalClientVersionRecord minimum;
  const std::wstring* minimumText = Instance().FindConfigValue(L"ClientMiniUpdateVersion");
  if (minimumText) CStringToLocalClientVersion(&minimum, *minimumText);

  if (tov::IsClientCurrent(LocalClientVersion(), minimumText ? &minimum : nullptr)) {
    FinishUpToDate(mainWindow);
    return;
  }
  if (OnDownLoad(mainWindow)) return;
  ShowStatusText(mainWindow, L"更新失败,请检查网络");
  LOG_ERROR(L"download error", kOp);
}
