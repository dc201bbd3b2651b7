// The provisioning worker: fetches the remote configuration, sends the
// entry page to the browser and continues with the client update, all on
// one thread that nobody waits for.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class CWebDlg;

// Stateless: everything it works on is process-wide (the configuration map,
// the local client version, the first-install flag).
class CGameRemoteConfig {
 public:
  static CGameRemoteConfig& Instance();

  // Thread routine; `lpParameter` is the main window. Always returns 0.
  static uint32_t InitRemoteConfig(void* lpParameter);

  // libcurl write callback: appends the received bytes to the std::string
  // that `body` points to. The bytes are decoded only once the transfer has
  // ended, so a character split between two reads stays whole. A null
  // `body` returns 0, which makes libcurl abort the transfer.
  static size_t WriteConfigBody(char* data, size_t size, size_t count, void* body);

  // The value of EntryUrl / CustomParameters, empty when absent.
  std::wstring GetEntryUrl() const;
  std::wstring GetCustomParameters() const;
  // The value of `key`, or null when absent; never inserts.
  const std::wstring* FindConfigValue(const std::wstring& key) const;

  // The two ways provisioning shows itself in the content panel: a status
  // text alone, or the progress bar with its phase label and percentage.
  static void ShowStatusText(CWebDlg* mainWindow, const std::wstring& text);
  static void ShowProgress(CWebDlg* mainWindow, const std::wstring& percentText, int position,
                           int isDownload);

 private:
  // What the worker does once the entry page has been requested: decide
  // whether the installed client is current and update it if not.
  static void DecideClientUpdate(CWebDlg* mainWindow);
};
