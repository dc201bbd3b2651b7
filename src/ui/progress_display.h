// What the provisioning worker's reports do to the content panel's four
// provisioning controls, decided apart from the windows that show them.
#pragma once
#include <string>

#include "provisioning/provisioning_view.h"

namespace tov {

// The four controls as the progress rules see them; the content panel
// implements it with its real controls.
class ProvisioningControls {
 public:
  virtual int Position() = 0;
  virtual void SetPosition(int position) = 0;
  virtual void SetText(PanelControl control, const std::wstring& text) = 0;
  virtual void Show(PanelControl control, bool visible) = 0;

 protected:
  ~ProvisioningControls() = default;
};

// One progress report. The phase label is named once per run for each phase
// (the flags remember it) and the percentage text changes only with the
// position. Controls are hidden before their text changes, because the
// labels draw without a background and the panel must repaint the old text
// away; nothing is shown here, the display mode does that afterwards.
// Without a panel nothing happens, the flags included.
void ApplyProgressUpdate(ProvisioningControls* panel, int& downloadLabelSet, int& unzipLabelSet,
                         const std::wstring& statusText, const std::wstring& percentText,
                         int position, int isDownload);

}  // namespace tov
