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
    panel->SetText(PanelControl::PhaseLabel, kTextDownloadPhase);
    downloadLabelSet = 1;
  } else if (isDownload == 0 && unzipLabelSet == 0) {
    panel->Show(PanelControl::PhaseLabel, false);
    panel->SetText(PanelControl::PhaseLabel, kTextUnzipPhase);
    unzipLabelSet = 1;
  }

  if (previous != position) {
    panel->Show(PanelControl::PercentText, false);
    panel->SetText(PanelControl::PercentText, percentText);
  }
}

}  // namespace tov
