// The download ending of the update: the package fetched into InstallRoot,
// unpacked into the client directory, and the installation completed.
#include <windows.h>

#include <cstdio>
#include <memory>

#include "base/app_state.h"
#include "base/launcher_log.h"
#include "base/launcher_settings.h"
#include "base/ansi_text_win.h"
#include "provisioning/desktop_integration.h"
#include "provisioning/game_remote_config.h"
#include "provisioning/launcher_copy_win.h"
#include "provisioning/package_download.h"
#include "provisioning/package_extract.h"
#include "provisioning/package_rules.h"
#include "telemetry/web_logger.h"
#include "ui/main_window.h"

namespace {

constexpr const char* kDownloadOp = "CGameRemoteConfig::OnDownLoad";
constexpr const char* kUnzipOp = "CGameRemoteConfig::OnUnzipFile";

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

// Closes the archive and says whether its last buffered bytes reached the
// disk: a full disk may only show at this point.
bool CloseArchive(UniqueFile& file) { return std::fclose(file.release()) == 0; }

// The package is in place: the launcher makes itself reachable and records
// the version it now runs, then the panel becomes ready.
void CompleteInstall(CWebDlg* mainWindow, const std::wstring& archivePath) {
  ::DeleteFileW(archivePath.c_str());
  tov::SetRegisties();

  const AppState& app = GetAppState();
  std::wstring workPath = RunningLauncherPath();
  std::wstring destPath = tov::InstalledLauncherPath(app.installRoot, LauncherSettings::GameTitle);
  LOG_INFO(workPath, kDownloadOp);
  unsigned long copyError = CopyLauncher(workPath, destPath);
  if (copyError == 0) {
    tov::CreateShortcuts();
  } else {
    LOG_ERROR(L"CopyFile ret:" + std::to_wstring(copyError), kDownloadOp);
  }

  // Exactly the configured text, no line end: the version check reads the
  // first line back.
  std::wstring versionPath = app.clientDir + L"\\game_client_version.txt";
  UniqueFile versionFile(_wfopen(versionPath.c_str(), L"wt"));
  if (versionFile) {
    if (const std::wstring* version = CGameRemoteConfig::Instance().FindConfigValue(L"ClientVersion")) {
      std::fputs(WideToAnsi(*version).c_str(), versionFile.get());
    }
  }
  versionFile.reset();

  CGameRemoteConfig::ShowStatusText(mainWindow, L"更新已完成");
  if (CWebCDlg* panel = mainWindow->ContentPanel()) panel->SetReady();
}

}  // namespace

int CGameRemoteConfig::OnDownLoad(CWebDlg* mainWindow) {
  LOG_INFO(L"OnDownLoad begin", kDownloadOp);
  if (!mainWindow) {
    LOG_ERROR(L"lpParameter is NULL!", kDownloadOp);
    return 0;
  }
  std::wstring archivePath = GetAppState().installRoot + L"\\bm.zip";
  LOG_INFO(archivePath, kDownloadOp);
  UniqueFile archive(OpenPackageFile(archivePath));
  if (!archive) {
    LOG_ERROR(L"install_dir is NULL!", kDownloadOp);
    return 0;
  }
  PackageTransfer transfer;
  if (!transfer) {
    LOG_ERROR(L"curl is NULL!", kDownloadOp);
    return 0;
  }
  const std::wstring* pattern = Instance().FindConfigValue(L"ClientDownloadUrl");
  if (!pattern) {
    LOG_ERROR(L"ClientDownloadUrl is NotFound!", kDownloadOp);
    return 0;
  }
  const std::wstring* version = Instance().FindConfigValue(L"ClientVersion");
  if (!version) {
    LOG_ERROR(L"ClientVersion is NotFound!", kDownloadOp);
    return 0;
  }
  std::wstring address = tov::BuildDownloadUrl(*pattern, LauncherSettings::ChannelName, *version);
  LOG_INFO(address, kDownloadOp);

  GetWebLogger().LogEvent(ReportDownloadStart);
  GetWebLogger().Log(L"game download start, download url:" + address);

  tov::ProgressRepeatFilter shown;
  DownloadOutcome outcome =
      transfer.Run(WideToAnsi(address), archive.get(), [&](int64_t total, int64_t done) {
        OnDownloadProgress(mainWindow, total, done, 0, 0, &shown);
      });
  bool written = CloseArchive(archive);
  if (!outcome.ok() || !written) {
    ShowStatusText(mainWindow, L"更新失败,请检查网络");
    LOG_INFO(L"download is error!", kDownloadOp);
    GetWebLogger().Log(L"game download failed");
    return 0;
  }
  GetWebLogger().LogEvent(ReportUnzipStart);
  GetWebLogger().Log(L"game download success");
  LOG_INFO(L"download is finish", kDownloadOp);

  if (!OnUnzipFile(archivePath, mainWindow)) {
    ShowStatusText(mainWindow, L"解压失败");
    LOG_INFO(L"unzip is error!", kDownloadOp);
    GetWebLogger().Log(L"game unzip failed");
    return 0;
  }
  CompleteInstall(mainWindow, archivePath);
  LOG_INFO(L"unzip is finish!", kDownloadOp);
  return 1;
}

int CGameRemoteConfig::OnDownloadProgress(CWebDlg* mainWindow, int64_t totalToDownload,
                                          int64_t downloaded, int64_t, int64_t,
                                          tov::ProgressRepeatFilter* shown) {
  tov::ProgressStep step = tov::DownloadProgress(totalToDownload, downloaded);
  if (!shown || shown->IsNew(step, 1)) ShowProgress(mainWindow, step.text, step.position, 1);
  return 0;
}

int CGameRemoteConfig::OnUnzipFile(const std::wstring& archivePath, CWebDlg* mainWindow) {
  LOG_INFO(L"unzip file:" + archivePath + L" begin", kUnzipOp);
  GetWebLogger().Log(L"game unzip start");
  tov::ProgressRepeatFilter shown;
  int result = ExtractPackage(archivePath, GetAppState().clientDir,
                              [&](const std::wstring& text, int position) {
                                if (shown.IsNew({text, position}, 0)) {
                                  ShowProgress(mainWindow, text, position, 0);
                                }
                              });
  if (!result) return 0;
  LOG_INFO(L"unzip is finish!", kUnzipOp);
  GetWebLogger().LogEvent(ReportUnzipFinished);
  GetWebLogger().Log(L"game unzip success");
  return 1;
}
