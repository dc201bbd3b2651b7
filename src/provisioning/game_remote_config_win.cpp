#include "provisioning/game_remote_config.h"

#include <curl/curl.h>

#include <memory>

#include "base/launcher_log.h"
#include "base/launcher_settings.h"
#include "base/ansi_text_win.h"
#include "provisioning/config_request.h"
#include "provisioning/remote_config.h"
#include "provisioning/transfer_limits.h"
#include "ui/main_window.h"

namespace {

constexpr const char* kOp = "CGameRemoteConfig::InitRemoteConfig";
constexpr const wchar_t* kNetworkFailure = L"更新失败,请检查网络";

struct CurlEasyCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using UniqueCurl = std::unique_ptr<CURL, CurlEasyCleanup>;

void ShowMode(CWebDlg* mainWindow, tov::DisplayMode mode) {
  if (!mainWindow->ContentPanel()) return;
  for (tov::PanelControl c : {tov::PanelControl::Progress, tov::PanelControl::StatusText,
                              tov::PanelControl::PhaseLabel, tov::PanelControl::PercentText}) {
    mainWindow->ShowPanelControl(c, tov::VisibleInMode(mode, c));
  }
}

// The configuration body, decoded; false (failure logged and shown) when
// the transfer failed or did not end in status 200.
bool FetchConfigBody(CWebDlg* mainWindow, const std::wstring& address, std::wstring& body) {
  UniqueCurl curl(curl_easy_init());
  if (!curl) {
    CGameRemoteConfig::ShowStatusText(mainWindow, kNetworkFailure);
    LOG_ERROR(L"curl is NULL!", kOp);
    return false;
  }
  std::string url = WideToAnsi(address);
  std::string bytes;
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &CGameRemoteConfig::WriteConfigBody);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &bytes);
  curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
  // A server that takes the connection and then says nothing, or a redirect
  // loop (libcurl of this vintage follows redirects without end), must fail
  // like any other transfer instead of leaving the panel at its start state.
  const TransferLimits& limits = CurrentTransferLimits();
  curl_easy_setopt(curl.get(), CURLOPT_CONNECTTIMEOUT, limits.connectSeconds);
  curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
  curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, limits.maxRedirects);

  CURLcode res = curl_easy_perform(curl.get());
  long httpStatusCode = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &httpStatusCode);
  if (res != CURLE_OK || httpStatusCode != 200) {
    LOG_ERROR(L"res:" + std::to_wstring(static_cast<int>(res)) +
                  L", httpStatusCode:" + std::to_wstring(static_cast<int>(httpStatusCode)),
              kOp);
    CGameRemoteConfig::ShowStatusText(mainWindow, kNetworkFailure);
    return false;
  }
  body = AnsiToWide(bytes);
  return true;
}

}  // namespace

uint32_t CGameRemoteConfig::InitRemoteConfig(void* lpParameter) {
  auto* mainWindow = static_cast<CWebDlg*>(lpParameter);
  if (!mainWindow) {
    LOG_ERROR(L"lpParameter is NULL!", kOp);
    return 0;
  }
  std::wstring address =
      tov::BuildConfigAddress(ConfigUrlTemplate(), LauncherSettings::ChannelName);
  LOG_INFO(address, kOp);

  std::wstring body;
  if (!FetchConfigBody(mainWindow, address, body)) return 0;
  tov::ParseConfigBody(body, GetRemoteConfigMap());

  if (CWebCDlg* panel = mainWindow->ContentPanel()) panel->InitWebBrower(Instance().GetEntryUrl());
  DecideClientUpdate(mainWindow);
  return 0;
}

size_t CGameRemoteConfig::WriteConfigBody(char* data, size_t size, size_t count, void* body) {
  if (!body) return 0;
  size_t n = size * count;
  static_cast<std::string*>(body)->append(data, n);
  return n;
}

void CGameRemoteConfig::ShowStatusText(CWebDlg* mainWindow, const std::wstring& text) {
  mainWindow->UpdateProgress(text, L"", 0, 0);
  ShowMode(mainWindow, tov::DisplayMode::StatusText);
}

void CGameRemoteConfig::ShowProgress(CWebDlg* mainWindow, const std::wstring& percentText,
                                     int position, int isDownload) {
  mainWindow->UpdateProgress(L"", percentText, position, isDownload);
  ShowMode(mainWindow, tov::DisplayMode::Progress);
}
