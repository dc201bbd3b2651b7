// The provisioning worker from top to bottom: fetch the configuration,
// parse it, send the page to the entry address, read the installed version,
// decide, and when the client is not current download, extract and
// complete the installation. Both endings make the client reachable with
// the same plan of steps.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/app_state.h"
#include "base/exit_barrier.h"
#include "base/launcher_log.h"
#include "base/launcher_settings.h"
#include "base/text_win.h"
#include "base/unique_handle.h"
#include "base/utf8.h"
#include "provisioning/address_rules.h"
#include "provisioning/config_seal_win.h"
#include "provisioning/config_value.h"
#include "provisioning/curl_easy_win.h"
#include "provisioning/desktop_integration.h"
#include "provisioning/free_space_win.h"
#include "provisioning/game_remote_config.h"
#include "provisioning/launcher_copy_win.h"
#include "provisioning/package_archive_win.h"
#include "provisioning/package_digest_win.h"
#include "provisioning/package_download.h"
#include "provisioning/package_extract.h"
#include "provisioning/package_fetch_win.h"
#include "provisioning/package_integrity.h"
#include "provisioning/package_sources.h"
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

// Keeps the Retry-After of the last answer, a redirect's included.
size_t KeepRetryAfter(char* data, size_t size, size_t count, void* user) noexcept {
  const size_t n = size * count;
  static constexpr char kName[] = "retry-after:";
  constexpr size_t kLength = sizeof kName - 1;
  auto* seconds = static_cast<int*>(user);
  if (n >= 5 && std::strncmp(data, "HTTP/", 5) == 0) *seconds = -1;
  if (n > kLength && _strnicmp(data, kName, kLength) == 0) {
    try {
      *seconds = tov::ParseRetryAfter(std::string(data + kLength, n - kLength));
    } catch (...) {
      *seconds = -1;
    }
  }
  return n;
}

// The configuration body as received; false (failure logged and shown) when
// every attempt failed or an answer said that another would not help.
bool FetchConfigBody(ProvisioningView* view, const std::wstring& address, std::string& bytes) {
  UniqueCurl curl(curl_easy_init());
  if (!curl) {
    CGameRemoteConfig::ShowStatusText(view, tov::kTextNetworkFailure);
    LOG_ERROR(L"curl is NULL!", kConfigOp);
    return false;
  }
  const ProvisioningSettings& settings = CurrentProvisioningSettings();
  std::string url = WideToAnsi(address);
  int retryAfter = -1;
  ApplyTransferLimits(curl.get(), url, kConfigOp);
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &CGameRemoteConfig::WriteConfigBody);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &bytes);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, KeepRetryAfter);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &retryAfter);
  curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);

  CURLcode res = CURLE_OK;
  long httpStatusCode = 0;
  for (int attempt = 1;; ++attempt) {
    bytes.clear();
    retryAfter = -1;
    res = curl_easy_perform(curl.get());
    httpStatusCode = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &httpStatusCode);
    if (res == CURLE_OK && httpStatusCode == 200) break;
    std::wstring reason = tov::TransientReason({TransferEndOf(res), httpStatusCode, retryAfter});
    if (reason.empty() || attempt >= settings.configAttempts) {
      LOG_ERROR(L"res:" + std::to_wstring(static_cast<int>(res)) +
                    L", httpStatusCode:" + std::to_wstring(static_cast<int>(httpStatusCode)),
                kConfigOp);
      CGameRemoteConfig::ShowStatusText(view, tov::kTextNetworkFailure);
      return false;
    }
    int64_t delay = tov::RetryDelayMillis(settings.retry, attempt, retryAfter, RetryJitter());
    LOG_INFO(tov::RetryLine(attempt + 1, settings.configAttempts, delay, reason), kConfigOp);
    ::Sleep(static_cast<DWORD>(delay));
  }
  return true;
}

// The body read as the configuration. A keyed build takes only a sealed
// one: anything else fails as a failed request does, with the check named,
// and nothing of it is used.
bool ReadConfig(ProvisioningView* view, const std::string& bytes, tov::RemoteConfig& config) {
  const std::string& keys = CurrentProvisioningSettings().packagePublicKey;
  if (keys.empty()) {
    RemoteConfigMap values;
    tov::ParseConfigBody(AnsiToWide(bytes), values);
    config = tov::ReadRemoteConfig(std::move(values), keys, false);
    return true;
  }
  std::wstring refusal;
  if (AcceptSealedConfig(bytes, keys, config, refusal)) return true;
  LOG_ERROR(refusal, kConfigOp);
  CGameRemoteConfig::ShowStatusText(view, tov::kTextNetworkFailure);
  return false;
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

// Checks the configured values before anything is transferred: a value
// that is missing, malformed or not signed by the built-in key refuses the
// package whatever arrives, so nothing is downloaded for it.
tov::PackageCheck CheckExpectation(const tov::PackageExpectation& expected) {
  if (expected.fault != tov::PackageCheck::Passed || !expected.signedBy) return expected.fault;
  return AsCheck(VerifyByAnyKey(expected.keys, expected.sha256, expected.signature),
                 tov::PackageCheck::Passed, tov::PackageCheck::SignatureRefused,
                 tov::PackageCheck::KeyUnusable);
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

// The package's writes are bounded twice: by the size the sealed
// configuration gives (`oversized` tells that one apart), and by the room
// on the volume, whether or not a length was announced. The volume is asked
// when an attempt's first block comes (an attempt starts where the last
// block did not end); every block after it counts against that figure, so
// a body without end stops where the rule for an announced length would
// have stopped it.
BlockAdmission BoundedWrites(const std::wstring& folder, const tov::PackageExpectation& expected,
                             bool& oversized) {
  struct Figure {
    uint64_t base = 0;  // the file's length when the volume was asked
    uint64_t end = UINT64_MAX;  // where the last block let through ended
    bool known = false;
    uint64_t free = 0;
    uint64_t volume = 0;
  };
  auto figure = std::make_shared<Figure>();
  FreeSpaceProbe probe = CurrentProvisioningSettings().freeSpace;
  FreeSpaceProbe asked = [figure](const std::wstring&, uint64_t* bytes, uint64_t* volume) {
    *bytes = figure->free;
    *volume = figure->volume;
    return figure->known;
  };
  return [folder, figure, probe, asked, &expected, &oversized](uint64_t written, uint64_t block) {
    if (expected.capped && block > expected.maxSize - std::min(written, expected.maxSize)) {
      oversized = true;
      return false;
    }
    if (written != figure->end) {
      figure->base = written;
      figure->known = probe ? probe(folder, &figure->free, &figure->volume)
                            : VolumeFreeSpace(folder, &figure->free, &figure->volume);
    }
    if (!HasRoomFor(folder, written - figure->base + block, asked, kDownloadOp)) return false;
    figure->end = written + block;
    return true;
  };
}

void ShowMode(ProvisioningView* view, tov::DisplayMode mode) {
  if (!view->HasContentPanel()) return;
  for (tov::PanelControl c : tov::kProvisioningControls) {
    view->ShowPanelControl(c, tov::VisibleInMode(mode, c));
  }
}

// The download's one place for its failures: what the user sees, the log
// and the report. Whatever ended it, the status ends on the network
// failure text.
void ShowDownloadFailure(ProvisioningView* view, DownloadResult result) {
  if (result == DownloadResult::UnzipFailed) {
    CGameRemoteConfig::ShowStatusText(view, tov::kTextUnzipFailure);
    LOG_INFO(L"unzip is error!", kDownloadOp);
    GetWebLogger().Log(L"game unzip failed");
  } else if (result != DownloadResult::NotStarted) {
    CGameRemoteConfig::ShowStatusText(view, tov::kTextNetworkFailure);
    LOG_INFO(L"download is error!", kDownloadOp);
    GetWebLogger().Log(L"game download failed");
  }
  CGameRemoteConfig::ShowStatusText(view, tov::kTextNetworkFailure);
  LOG_ERROR(L"download error", kConfigOp);
}

// One download of the package into InstallRoot\bm.zip and its extraction,
// as steps that each log their own details and say whether the download
// goes on (Ok) or how it ended.
class PackageDownload {
 public:
  PackageDownload(ProvisioningView* view, const tov::RemoteConfig& config)
      : m_view(view),
        m_config(config),
        m_expected(config.package),
        m_archivePath(GetAppState().installRoot + L"\\bm.zip") {}

  const std::wstring& ArchivePath() const { return m_archivePath; }

  // Opens the archive, keeping a partial from an earlier run only when its
  // record says it is a part of this very version.
  DownloadResult OpenArchive() {
    LOG_INFO(m_archivePath, kDownloadOp);
    const std::optional<std::wstring>& version = m_config.versionInUrl;
    m_versionText = version ? tov::WideToUtf8(*version) : "";
    if (!ReadPartialRecord(m_archivePath, m_record) || !version || m_record.version != m_versionText) {
      m_record = {};
      DeletePartialRecord(m_archivePath);
    }
    m_archive = OpenPackageArchive(m_archivePath, m_record.total > 0);
    if (m_archive) return DownloadResult::Ok;
    LOG_ERROR(L"install_dir is NULL!", kDownloadOp);
    return DownloadResult::NotStarted;
  }

  // The download address and its mirrors, from the configuration.
  DownloadResult FindSources() {
    if (!m_transfer) {
      LOG_ERROR(L"curl is NULL!", kDownloadOp);
      return DownloadResult::NotStarted;
    }
    const std::vector<std::wstring> templates = tov::PackageSourceTemplates(m_config);
    if (templates.empty()) {
      LOG_ERROR(L"ClientDownloadUrl is NotFound!", kDownloadOp);
      return DownloadResult::NotStarted;
    }
    if (!m_config.versionInUrl) {
      LOG_ERROR(L"ClientVersion is NotFound!", kDownloadOp);
      return DownloadResult::NotStarted;
    }
    for (const std::wstring& pattern : templates) {
      m_addresses.push_back(
          tov::BuildDownloadUrl(pattern, LauncherSettings::ChannelName, *m_config.versionInUrl));
    }
    const std::wstring& address = m_addresses.front();
    LOG_INFO(address, kDownloadOp);
    GetWebLogger().LogEvent(ReportDownloadStart);
    GetWebLogger().Log(L"game download start, download url:" + address);
    return DownloadResult::Ok;
  }

  DownloadResult CheckConfiguredPackage() {
    tov::PackageCheck check = CheckExpectation(m_expected);
    return check == tov::PackageCheck::Passed ? DownloadResult::Ok : Refuse(check);
  }

  DownloadResult Fetch() {
    // The close stops the transfer at its next block, with every block taken
    // in the file and its record for the next start, and waits for that; a
    // stopped download is neither a success nor a failure.
    tov::ExitBarrier& barrier = tov::ProcessExitBarrier();
    tov::ExitBarrier::Pass pass = barrier.EnterOrPark();
    tov::ProgressRepeatFilter shown;
    bool oversized = false;
    PackageFetch fetch = PlanFetch(shown, oversized);
    FetchResult got = FetchPackage(m_transfer, fetch, m_record);
    if (got.ok && m_expected.hashed) got = CheckArrival(fetch, std::move(got));
    if (got.stopped) barrier.Park(std::move(pass));
    m_transfer.Release();
    if (!got.ok) {
      // A block that could not be hashed aborted the transfer: say why.
      if (got.digestFailed) return Refuse(tov::PackageCheck::DigestFailed);
      if (oversized) return Refuse(tov::PackageCheck::SizeExceeded);
      return DownloadResult::TransferFailed;
    }
    // Whole: a failure from here on starts the next download from nothing.
    DeletePartialRecord(m_archivePath);
    return DownloadResult::Ok;
  }

  DownloadResult CheckArrivedPackage() {
    if (!m_expected.hashed) return DownloadResult::Ok;
    if (m_check != tov::PackageCheck::Passed) return Refuse(m_check, m_detail);
    LOG_INFO(m_expected.signedBy ? L"package check passed: SHA-256 and signature"
                                 : L"package check passed: SHA-256",
             kDownloadOp);
    return DownloadResult::Ok;
  }

  DownloadResult Unpack() {
    GetWebLogger().LogEvent(ReportUnzipStart);
    GetWebLogger().Log(L"game download success");
    LOG_INFO(L"download is finish", kDownloadOp);
    ExtractResult unzipped = CGameRemoteConfig::OnUnzipFile(m_archivePath, m_view, m_archive.get());
    m_archive.reset();
    return unzipped == ExtractResult::Unpacked ? DownloadResult::Ok : DownloadResult::UnzipFailed;
  }

 private:
  PackageFetch PlanFetch(tov::ProgressRepeatFilter& shown, bool& oversized) {
    const std::wstring& installRoot = GetAppState().installRoot;
    ProvisioningView* view = m_view;
    PackageFetch fetch;
    fetch.file = m_archive.get();
    fetch.archivePath = m_archivePath;
    fetch.addresses = m_addresses;
    fetch.version = m_versionText;
    fetch.hashed = m_expected.hashed;
    fetch.policy = CurrentProvisioningSettings().retry;
    fetch.progress = [view, &shown](int64_t total, int64_t done) {
      CGameRemoteConfig::OnDownloadProgress(view, total, done, 0, 0, &shown);
    };
    fetch.fits = [&installRoot](int64_t length) {
      return HasRoomFor(installRoot, static_cast<uint64_t>(length), CurrentProvisioningSettings().freeSpace,
                        kDownloadOp);
    };
    fetch.waiting = [view](bool waiting) { view->ShowTransferWaiting(waiting); };
    fetch.admit = BoundedWrites(installRoot, m_expected, oversized);
    return fetch;
  }

  // The arrived package against the configured SHA-256. Bytes joined from
  // two answers may be of two packages: once more from nothing before the
  // package counts as wrong.
  FetchResult CheckArrival(const PackageFetch& fetch, FetchResult got) {
    m_check = ::CheckArrival(m_expected, got.digest.get(), m_detail);
    if (m_check != tov::PackageCheck::HashMismatch || !got.resumed) return got;
    LOG_ERROR(tov::PackageCheckText(m_check) + m_detail, kDownloadOp);
    LOG_INFO(L"resumed package refused, downloading it again from the start", kDownloadOp);
    m_record = {};
    DeletePartialRecord(m_archivePath);
    got = FetchPackage(m_transfer, fetch, m_record);
    m_detail.clear();
    if (got.ok) m_check = ::CheckArrival(m_expected, got.digest.get(), m_detail);
    return got;
  }

  // A refused package fails like a failed transfer, with the check named,
  // and is deleted: nothing of it may be unpacked or started later.
  DownloadResult Refuse(tov::PackageCheck check, const std::wstring& detail = L"") {
    LOG_ERROR(tov::PackageCheckText(check) + detail, kDownloadOp);
    m_archive.reset();
    ::DeleteFileW(m_archivePath.c_str());
    DeletePartialRecord(m_archivePath);
    return DownloadResult::Refused;
  }

  ProvisioningView* m_view;
  const tov::RemoteConfig& m_config;
  const tov::PackageExpectation& m_expected;
  const std::wstring m_archivePath;
  std::string m_versionText;
  tov::PartialRecord m_record;
  tov::UniqueHandleK m_archive;
  PackageTransfer m_transfer;
  std::vector<std::wstring> m_addresses;
  tov::PackageCheck m_check = tov::PackageCheck::Passed;
  std::wstring m_detail;  // the arrived package's digest, when it was refused
};

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

    std::string bytes;
    if (!FetchConfigBody(view, address, bytes)) return 0;
    tov::RemoteConfig read;
    if (!ReadConfig(view, bytes, read)) return 0;
    const tov::RemoteConfig& config = tov::PublishRemoteConfig(std::move(read));

    view->InitWebBrower(config.entryUrl);
    DecideClientUpdate(view, config);
  } catch (...) {
    // Out of memory on the worker: the launcher stays as it is, without a
    // ready client, rather than ending.
    LOG_ERROR(L"worker stopped", kConfigOp);
  }
  return 0;
}

void CGameRemoteConfig::DecideClientUpdate(ProvisioningView* view, const tov::RemoteConfig& config) {
  ReadLocalClientVersion();

  LocalClientVersionRecord minimum;
  if (config.minimumVersion) CStringToLocalClientVersion(&minimum, *config.minimumVersion);

  if (tov::IsClientCurrent(LocalClientVersion(), config.minimumVersion ? &minimum : nullptr)) {
    MakeReachable(view, config, tov::ClientEnding::UpToDate, L"");
    return;
  }
  DownloadResult result = OnDownLoad(view, config);
  if (result != DownloadResult::Ok) ShowDownloadFailure(view, result);
}

DownloadResult CGameRemoteConfig::OnDownLoad(ProvisioningView* view, const tov::RemoteConfig& config) {
  LOG_INFO(L"OnDownLoad begin", kDownloadOp);
  if (!view) {
    LOG_ERROR(L"lpParameter is NULL!", kDownloadOp);
    return DownloadResult::NotStarted;
  }
  PackageDownload download(view, config);
  DownloadResult result = download.OpenArchive();
  if (result == DownloadResult::Ok) result = download.FindSources();
  if (result == DownloadResult::Ok) result = download.CheckConfiguredPackage();
  if (result == DownloadResult::Ok) result = download.Fetch();
  if (result == DownloadResult::Ok) result = download.CheckArrivedPackage();
  if (result == DownloadResult::Ok) result = download.Unpack();
  if (result != DownloadResult::Ok) return result;
  MakeReachable(view, config, tov::ClientEnding::Installed, download.ArchivePath());
  LOG_INFO(L"unzip is finish!", kDownloadOp);
  return DownloadResult::Ok;
}

int CGameRemoteConfig::OnDownloadProgress(ProvisioningView* view, int64_t totalToDownload,
                                          int64_t downloaded, int64_t, int64_t,
                                          tov::ProgressRepeatFilter* shown) {
  tov::ProgressStep step = tov::DownloadProgress(totalToDownload, downloaded);
  if (!shown || shown->IsNew(step, 1)) ShowProgress(view, step.text, step.position, 1);
  return 0;
}

ExtractResult CGameRemoteConfig::OnUnzipFile(const std::wstring& archivePath, ProvisioningView* view,
                                   void* archiveFile) {
  LOG_INFO(L"unzip file:" + archivePath + L" begin", kUnzipOp);
  GetWebLogger().Log(L"game unzip start");
  tov::ProgressRepeatFilter shown;
  auto progress = [&](const std::wstring& text, int position) {
    if (shown.IsNew({text, position}, 0)) ShowProgress(view, text, position, 0);
  };
  const FreeSpaceProbe& freeSpace = CurrentProvisioningSettings().freeSpace;
  // The close stops the extraction between files and waits for its threads
  // to end before the process ends; a stopped extraction is not a failure.
  tov::ExitBarrier& barrier = tov::ProcessExitBarrier();
  tov::ExitBarrier::Pass pass = barrier.EnterOrPark();
  ExtractResult result = archiveFile
                             ? ExtractPackageFrom(archiveFile, GetAppState().clientDir, progress, freeSpace)
                             : ExtractPackage(archivePath, GetAppState().clientDir, progress, freeSpace);
  if (result != ExtractResult::Unpacked && barrier.Closed()) barrier.Park(std::move(pass));
  if (result != ExtractResult::Unpacked) return result;
  LOG_INFO(L"unzip is finish!", kUnzipOp);
  GetWebLogger().LogEvent(ReportUnzipFinished);
  GetWebLogger().Log(L"game unzip success");
  return result;
}

void CGameRemoteConfig::MakeReachable(ProvisioningView* view, const tov::RemoteConfig& config,
                                      tov::ClientEnding ending, const std::wstring& archivePath) {
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
        if (config.version && !WriteVersionFile(app.clientDir, WideToAnsi(*config.version))) {
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
