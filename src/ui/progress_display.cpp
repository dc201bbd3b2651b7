#include "ui/progress_display.h"

namespace tov {

void ApplyProgressUpdate(ProvisioningControls* panel, int& downloadLabelSet, int& unzipLabelSet,
                         const std::wstring& statusText, const std::wstring& percentText,
                         int position, int isDownload) {
  if (!panel) return;
  int previous = panel->Position();
  panel->SetPosition(position);
  panel->SetText(PanelControl::StatusText, statusText);

  if (isDownload != 0 && downloadLabelSet == 0) {
    panel->Show(PanelControl::PhaseLabel, false);
    panel->SetText(PanelControl::PhaseLabel, L"正在下载：");
    downloadLabelSet = 1;
  } else if (isDownload == 0 && unzipLabelSet == 0) {
    panel->Show(PanelControl::PhaseLabel, false);
    panel->SetText(PanelControl::PhaseLabel, L"正在解压：");
    unzipLabelSet = 1;
  }

  if (previous != position) {
    panel->Show(PanelControl::PercentText, false);
    panel->SetText(PanelControl::PercentText, percentText);
  }
}

bool VisibleInMode(DisplayMode mode, PanelControl control) {
  bool statusOnly = mode == DisplayMode::StatusText;
  return (control == PanelControl::StatusText) == statusOnly;
}

}  // namespace tov
