// What the provisioning worker sees of the screen: the content panel's four
// provisioning controls, the page it sends to the entry address, and the
// ready state that may start the game. The main window's side implements it
// through calls that the user-interface thread carries out while the worker
// waits, and that do nothing once the windows are gone.
#pragma once
#include <string>

namespace tov {

enum class PanelControl { Progress, StatusText, PhaseLabel, PercentText };
inline constexpr PanelControl kProvisioningControls[] = {
    PanelControl::Progress, PanelControl::StatusText, PanelControl::PhaseLabel,
    PanelControl::PercentText};

// The two ways provisioning shows itself: a status text alone, or the
// progress bar with its phase label and percentage.
enum class DisplayMode { StatusText, Progress };
bool VisibleInMode(DisplayMode mode, PanelControl control);

// The fixed texts provisioning puts on the panel.
inline constexpr const wchar_t* kTextNetworkFailure = L"更新失败,请检查网络";
inline constexpr const wchar_t* kTextUnzipFailure = L"解压失败";
inline constexpr const wchar_t* kTextUpdateDone = L"更新已完成";
inline constexpr const wchar_t* kTextDownloadPhase = L"正在下载：";
inline constexpr const wchar_t* kTextUnzipPhase = L"正在解压：";

}  // namespace tov

class ProvisioningView {
 public:
  // A main window may run without its panel; the worker then skips its
  // panel steps and still runs to its end.
  virtual bool HasContentPanel() = 0;
  virtual void UpdateProgress(std::wstring statusText, std::wstring percentText, int position,
                              int isDownload) = 0;
  virtual void ShowPanelControl(tov::PanelControl control, bool visible) = 0;
  // Logs the address and sends the page to it, when there is a panel.
  virtual void InitWebBrower(const std::wstring& url) = 0;
  // The installed client is current; may start the game on this thread.
  virtual void SetReady() = 0;
  // The download waits before it tries again (true), or goes on (false).
  virtual void ShowTransferWaiting(bool /*waiting*/) {}

 protected:
  ~ProvisioningView() = default;
};
