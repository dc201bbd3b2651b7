// The provisioning worker: fetches the remote configuration, sends the
// entry page to the browser and continues with the client update, all on
// one thread that nobody waits for. It sees the screen only through a
// ProvisioningView, which outlives it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "provisioning/config_value.h"
#include "provisioning/extract_result.h"
#include "provisioning/package_rules.h"
#include "provisioning/provisioning_view.h"
#include "provisioning/reachable_plan.h"
#include "provisioning/version_rules.h"

// The installed client's version as read from its version file at the start
// of the update decision; 0.0.0.0 until then. Written once by the worker.
LocalClientVersionRecord& LocalClientVersion();

// How a download of the client ended. Ok: the client is installed (for a
// step: the download goes on); the others are failures, logged with their
// detail where they happened.
enum class [[nodiscard]] DownloadResult {
  Ok,
  NotStarted,      // no view, archive file or transfer, no address or version configured
  TransferFailed,  // every attempt failed
  Refused,         // the package failed a check and was deleted
  UnzipFailed,     // the package arrived whole but could not be unpacked
};

// Stateless: the worker holds the configuration it read and hands it on;
// the rest is process-wide (the local client version, the first-install
// flag).
class CGameRemoteConfig {
 public:
  static CGameRemoteConfig& Instance();

  // Thread routine; `lpParameter` is the main window's ProvisioningView.
  // Always returns 0.
  static uint32_t InitRemoteConfig(void* lpParameter) noexcept;

  // libcurl write callback: appends the received bytes to the std::string
  // that `body` points to. The bytes are decoded only once the transfer has
  // ended, so a character split between two reads stays whole. A null
  // `body`, or bytes beyond kMaxConfigBodyBytes, return 0, which makes
  // libcurl abort the transfer.
  static size_t WriteConfigBody(char* data, size_t size, size_t count, void* body) noexcept;

  // Of the configuration the worker accepted: the value of EntryUrl /
  // CustomParameters, empty when absent or before one was accepted.
  std::wstring GetEntryUrl() const;
  std::wstring GetCustomParameters() const;
  // The value of `key`, or null when absent; never inserts.
  const std::wstring* FindConfigValue(const std::wstring& key) const;

  // The two ways provisioning shows itself in the content panel: a status
  // text alone, or the progress bar with its phase label and percentage.
  static void ShowStatusText(ProvisioningView* view, const std::wstring& text);
  static void ShowProgress(ProvisioningView* view, const std::wstring& percentText, int position,
                           int isDownload);

  // Fills `record` from a version text by the leading-number rules and logs
  // the text. Nothing happens for a null record.
  static void CStringToLocalClientVersion(LocalClientVersionRecord* record, const std::wstring& text);

  // Downloads the package into InstallRoot\bm.zip, unpacks it into the
  // client directory and completes the installation. Shows nothing of a
  // failure: the caller does.
  static DownloadResult OnDownLoad(ProvisioningView* view, const tov::RemoteConfig& config);
  // Transfer progress: the percentage of the announced total, capped at
  // 100, or 0% while the total is unknown. With `shown`, a report that
  // would change nothing on screen is left out. Always 0 (go on).
  static int OnDownloadProgress(ProvisioningView* view, int64_t totalToDownload, int64_t downloaded,
                                int64_t totalToUpload, int64_t uploaded,
                                tov::ProgressRepeatFilter* shown = nullptr);
  // Unpacks the archive into the client directory with the count of
  // entries done shown; Unpacked when every entry was written. With
  // `archiveFile` (a HANDLE open for reading) the archive is read through
  // it rather than opened by its path.
  static ExtractResult OnUnzipFile(const std::wstring& archivePath, ProvisioningView* view,
                                   void* archiveFile = nullptr);

 private:
  // What the worker does once the entry page has been requested: decide
  // whether the installed client is current and update it if not.
  static void DecideClientUpdate(ProvisioningView* view, const tov::RemoteConfig& config);
  // The steps that make the current client reachable, for either ending.
  static void MakeReachable(ProvisioningView* view, const tov::RemoteConfig& config,
                            tov::ClientEnding ending, const std::wstring& archivePath);
};
