// The provisioning worker from top to bottom: fetch the configuration,
// parse it, send the page to the entry address, read the installed version,
// decide, and when the client is not current download, extract and
// complete the installation. Both endings make the client reachable with
// the same plan of steps.
#include <windows.h>

#include <cstdio>
#include <memory>

#include "base/app_state.h"
#include "base/exit_barrier.h"
#include "base/launcher_log.h"
#include "base/launcher_settings.h"
#include "base/text_win.h"
#include "base/unique_handle.h"
#include "provisioning/address_rules.h"
#include "provisioning/curl_easy_win.h"
#include "provisioning/desktop_integration.h"
#include "provisioning/free_space_win.h"
#include "provisioning/game_remote_config.h"
#include "provisioning/launcher_copy_win.h"
#include "provisioning/package_digest_win.h"
#include "provisioning/package_download.h"
#include "provisioning/package_extract.h"
#include "provisioning/package_integrity.h"
#include "provisioning/provisioning_settings.h"
#include "provisioning/remote_config.h"
#include "provisioning/version_file_win.h"
#include "telemetry/web_logger.h"

namespace {

constexpr const char* kConfigOp = "CGameRemoteConfig::InitRemoteConfig";
constexpr const char* kDownloadOp = "CGameRemoteConfig::OnDownLoad";
constexpr const char* kUnzipOp = "CGameRemoteConfig::OnUnzipFile";
// The first line is read into a buffer of this many bytes, its end included.
constexpr int kVersionLineBuffer = 64;

// The configuration body, decoded; false (failure logged and shown) when
// the transfer failed or did not end in status 200.
bool FetchConfigBody(ProvisioningView* view, const std::wstring& address, std::wstring& body) {
  UniqueCurl curl(curl_easy_init());
  if (!curl) {
    CGameRemoteConfig::ShowStatusText(view, tov::kTextNetworkFailure);
    LOG_ERROR(L"curl is NULL!", kConfigOp);
    return false;
  }
  std::string url = WideToAnsi(address);
  std::string bytes;
  ApplyTransferLimits(curl.get());
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &CGameRemoteConfig::WriteConfigBody);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &bytes);
  curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);

  CURLcode res = curl_easy_perform(curl.get());
  long httpStatusCode = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &httpStatusCode);
  if (res != CURLE_OK || httpStatusCode != 200) {
    LOG_ERROR(L"res:" + std::to_wstring(static_cast<int>(res)) +
                  L", httpStatusCode:" + std::to_wstring(static_cast<int>(httpStatusCode)),
              kConfigOp);
    CGameRemoteConfig::ShowStatusText(view, tov::kTextNetworkFailure);
    return false;
  }
  body = AnsiToWide(bytes);
  return true;
}

// Reads the installed client's version, or records that there is none.
void ReadLocalClientVersion() {
  std::wstring path = GetAppState().clientDir + L"\\" + tov::kVersionFileName;
  LOG_INFO(path, kConfigOp);
  tov::UniqueFile file(_wfopen(path.c_str(), L"rt"));
  if (!file) {
    GetAppState().firstInstall = 1;
    return;
  }
  char line[kVersionLineBuffer] = {};
  if (!std::fgets(line, sizeof line, file.get())) line[0] = '\0';
  CGameRemoteConfig::CStringToLocalClientVersion(&LocalClientVersion(), AnsiToWide(line));
}

// Closes the archive and says whether its last bytes reached the disk: a
// full disk may only show at this point.
bool CloseArchive(tov::UniqueFile& file) { return std::fclose(file.release()) == 0; }

// Checks the configured values before anything is transferred: a value
// that is missing, malformed or not signed by the built-in key refuses the
// package whatever arrives, so nothing is downloaded for it.
tov::PackageCheck CheckExpectation(const tov::PackageExpectation& expected) {
  if (expected.fault != tov::PackageCheck::Passed || !expected.signedBy) return expected.fault;
  switch (VerifyPackageSignature(expected.key, expected.sha256, expected.signature)) {
    case SignatureCheck::Valid:
      return tov::PackageCheck::Passed;
    case SignatureCheck::Invalid:
      return tov::PackageCheck::SignatureRefused;
    case SignatureCheck::KeyUnusable:
      break;
  }
  return tov::PackageCheck::KeyUnusable;
}

// The package as it arrived against the configured SHA-256.
tov::PackageCheck CheckArrival(const tov::PackageExpectation& expected, PackageDigest* digest,
                               std::wstring& detail) {
  tov::Sha256Digest actual{};
  if (!digest || !digest->Finish(actual)) return tov::PackageCheck::DigestFailed;
  tov::PackageCheck check = tov::CompareDigest(expected, actual);
  if (check != tov::PackageCheck::Passed) {
    detail = L" (package: " + AnsiToWide(tov::ToHex(actual.data(), actual.size())) + L")";
  }
  return check;
}

void ShowMode(ProvisioningView* view, tov::DisplayMode mode) {
  if (!view->HasContentPanel()) return;
  for (tov::PanelControl c : tov::kProvisioningControls) {
    view->ShowPanelControl(c, tov::VisibleInMode(mode, c));
  }
}

}  // namespace

uint32_t CGameRemoteConfig::InitRemoteConfig(void* lpParameter) noexcept {
  auto* view = static_cast<ProvisioningView*>(lpParameter);
  if (!view) {
    LOG_ERROR(L"lpParameter is NULL!", kConfigOp);
    return 0;
  }
  try {
    std::wstring address = tov::BuildConfigAddress(CurrentProvisioningSettings().configUrlTemplate,
                                                   LauncherSettings::ChannelName);
    LOG_INFO(address, kConfigOp);

    std::wstring body;
    if (!FetchConfigBody(view, address, body)) return 0;
    tov::ParseConfigBody(body, GetRemoteConfigMap());

    view->InitWebBrower(tov::WithoutTrailingCr(Instance().GetEntryUrl()));
    DecideClientUpdate(view);
  } catch (...) {
    // Out of memory on the worker: the launcher stays as it is, without a
    // ready client, rather than ending.
    LOG_ERROR(L"worker stopped", kConfigOp);
  }
  return 0;
}

void CGameRemoteConfig::DecideClientUpdate(ProvisioningView* view) {
  ReadLocalClientVersion();

  LocalClientVersionRecord minimum;
  const std::wstring* minimumText = Instance().FindConfigValue(L"ClientMiniUpdateVersion");
  if (minimumText) CStringToLocalClientVersion(&minimum, *minimumText);

  if (tov::IsClientCurrent(LocalClientVersion(), minimumText ? &minimum : nullptr)) {
    MakeReachable(view, tov::ClientEnding::UpToDate, L"");
    return;
  }
  if (OnDownLoad(view)) return;
  ShowStatusText(view, tov::kTextNetworkFailure);
  LOG_ERROR(L"download error", kConfigOp);
}

int CGameRemoteConfig::OnDownLoad(ProvisioningView* view) {
  LOG_INFO(L"OnDownLoad begin", kDownloadOp);
  if (!view) {
    LOG_ERROR(L"lpParameter is NULL!", kDownloadOp);
    return 0;
  }
  std::wstring archivePath = GetAppState().installRoot + L"\\bm.zip";
  LOG_INFO(archivePath, kDownloadOp);
  tov::UniqueFile archive(OpenPackageFile(archivePath));
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
  std::wstring address = tov::BuildDownloadUrl(tov::WithoutTrailingCr(*pattern),
                                               LauncherSettings::ChannelName,
                                               tov::WithoutTrailingCr(*version));
  LOG_INFO(address, kDownloadOp);

  GetWebLogger().LogEvent(ReportDownloadStart);
  GetWebLogger().Log(L"game download start, download url:" + address);

  auto failed = [&] {
    ShowStatusText(view, tov::kTextNetworkFailure);
    LOG_INFO(L"download is error!", kDownloadOp);
    GetWebLogger().Log(L"game download failed");
    return 0;
  };
  // A refused package fails like a failed transfer, with the check named,
  // and is deleted: nothing of it may be unpacked or started later.
  auto refuse = [&](tov::PackageCheck check, const std::wstring& detail = L"") {
    LOG_ERROR(tov::PackageCheckText(check) + detail, kDownloadOp);
    archive.reset();
    ::DeleteFileW(archivePath.c_str());
    return failed();
  };
  const tov::PackageExpectation expected = tov::ReadPackageExpectation(
      GetRemoteConfigMap(), CurrentProvisioningSettings().packagePublicKey);
  tov::PackageCheck check = CheckExpectation(expected);
  if (check != tov::PackageCheck::Passed) return refuse(check);
  // Made only when there is something to compare: without a SHA-256 the
  // download runs exactly as it always has.
  std::unique_ptr<PackageDigest> digest;
  if (expected.hashed) {
    digest = std::make_unique<PackageDigest>();
    if (!digest->ok()) return refuse(tov::PackageCheck::DigestFailed);
  }

  tov::ProgressRepeatFilter shown;
  const std::wstring& installRoot = GetAppState().installRoot;
  DownloadOutcome outcome = transfer.Run(
      WideToAnsi(address), archive.get(),
      [&](int64_t total, int64_t done) { OnDownloadProgress(view, total, done, 0, 0, &shown); },
      [&](int64_t length) {
        return HasRoomFor(installRoot, static_cast<uint64_t>(length),
                          CurrentProvisioningSettings().freeSpace, kDownloadOp);
      },
      digest.get());
  bool written = CloseArchive(archive);
  if (!outcome.ok() || !written) {
    // A block that could not be hashed aborted the transfer: say why.
    if (digest && !digest->ok()) return refuse(tov::PackageCheck::DigestFailed);
    return failed();
  }
  if (expected.hashed) {
    std::wstring detail;
    check = CheckArrival(expected, digest.get(), detail);
    if (check != tov::PackageCheck::Passed) return refuse(check, detail);
    LOG_INFO(expected.signedBy ? L"package check passed: SHA-256 and signature"
                               : L"package check passed: SHA-256",
             kDownloadOp);
  }
  GetWebLogger().LogEvent(ReportUnzipStart);
  GetWebLogger().Log(L"game download success");
  LOG_INFO(L"download is finish", kDownloadOp);

  if (!OnUnzipFile(archivePath, view)) {
    ShowStatusText(view, tov::kTextUnzipFailure);
    LOG_INFO(L"unzip is error!", kDownloadOp);
    GetWebLogger().Log(L"game unzip failed");
    return 0;
  }
  MakeReachable(view, tov::ClientEnding::Installed, archivePath);
  LOG_INFO(L"unzip is finish!", kDownloadOp);
  return 1;
}

int CGameRemoteConfig::OnDownloadProgress(ProvisioningView* view, int64_t totalToDownload,
                                          int64_t downloaded, int64_t, int64_t,
                                          tov::ProgressRepeatFilter* shown) {
  tov::ProgressStep step = tov::DownloadProgress(totalToDownload, downloaded);
  if (!shown || shown->IsNew(step, 1)) ShowProgress(view, step.text, step.position, 1);
  return 0;
}

int CGameRemoteConfig::OnUnzipFile(const std::wstring& archivePath, ProvisioningView* view) {
  LOG_INFO(L"unzip file:" + archivePath + L" begin", kUnzipOp);
  GetWebLogger().Log(L"game unzip start");
  tov::ProgressRepeatFilter shown;
  int result = ExtractPackage(
      archivePath, GetAppState().clientDir,
      [&](const std::wstring& text, int position) {
        if (shown.IsNew({text, position}, 0)) ShowProgress(view, text, position, 0);
      },
      CurrentProvisioningSettings().freeSpace);
  if (!result) return 0;
  LOG_INFO(L"unzip is finish!", kUnzipOp);
  GetWebLogger().LogEvent(ReportUnzipFinished);
  GetWebLogger().Log(L"game unzip success");
  return 1;
}

void CGameRemoteConfig::MakeReachable(ProvisioningView* view, tov::ClientEnding ending,
                                      const std::wstring& archivePath) {
  const bool installed = ending == tov::ClientEnding::Installed;
  const AppState& app = GetAppState();
  for (tov::ReachStep step : tov::ReachablePlan(ending)) {
    switch (step) {
      case tov::ReachStep::DeleteArchive:
        ::DeleteFileW(archivePath.c_str());
        break;
      case tov::ReachStep::Register:
        tov::SetRegisties();
        break;
      case tov::ReachStep::CopyLauncher: {
        std::wstring workPath = RunningLauncherPath();
        std::wstring destPath =
            tov::InstalledLauncherPath(app.installRoot, LauncherSettings::GameTitle);
        if (installed) {
          LOG_INFO(workPath, kDownloadOp);
        } else {
          LOG_INFO(L"work_path:" + workPath, kConfigOp);
          LOG_INFO(L"dest_path:" + destPath, kConfigOp);
        }
        // A copy cut short would leave the links pointing at a broken
        // launcher, and a thread ended inside the shell's COM objects can
        // leave the process unable to end: the exit waits for this step.
        tov::ExitBarrier::Pass pass = tov::ProcessExitBarrier().Enter();
        if (!pass) {
          LOG_INFO(L"launcher closing, copy and shortcuts skipped", kConfigOp);
          break;
        }
        // Links to a launcher copy that is not there would lead nowhere.
        unsigned long copyError = CopyLauncher(workPath, destPath);
        if (copyError == 0) {
          tov::CreateShortcuts();
        } else if (installed) {
          LOG_ERROR(L"CopyFile ret:" + std::to_wstring(copyError), kDownloadOp);
        }
        break;
      }
      case tov::ReachStep::WriteVersionFile: {
        // Exactly the configured text, no line end: the version check reads
        // the first line back. The extraction has flushed every file.
        const std::wstring* version = Instance().FindConfigValue(L"ClientVersion");
        if (version && !WriteVersionFile(app.clientDir, WideToAnsi(*version))) {
          LOG_ERROR(L"cannot write " + app.clientDir + L"\\" + tov::kVersionFileName, kDownloadOp);
        }
        break;
      }
      case tov::ReachStep::ShowDone:
        ShowStatusText(view, tov::kTextUpdateDone);
        break;
      case tov::ReachStep::SetReady:
        view->SetReady();
        break;
      case tov::ReachStep::LogFinish:
        LOG_INFO(L"update finish!", kConfigOp);
        break;
    }
  }
}

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

size_t CGameRemoteConfig::WriteConfigBody(char* data, size_t size, size_t count, void* body) noexcept {
  if (!body) return 0;
  size_t n = size * count;
  auto* bytes = static_cast<std::string*>(body);
  // A server that sends without end would otherwise fill the memory.
  if (n > tov::kMaxConfigBodyBytes - bytes->size()) return 0;
  try {
    bytes->append(data, n);
  } catch (...) {
    return 0;  // out of memory: libcurl aborts the transfer
  }
  return n;
}

void CGameRemoteConfig::ShowStatusText(ProvisioningView* view, const std::wstring& text) {
  view->UpdateProgress(text, L"", 0, 0);
  ShowMode(view, tov::DisplayMode::StatusText);
}

void CGameRemoteConfig::ShowProgress(ProvisioningView* view, const std::wstring& percentText,
                                     int position, int isDownload) {
  view->UpdateProgress(L"", percentText, position, isDownload);
  ShowMode(view, tov::DisplayMode::Progress);
}
