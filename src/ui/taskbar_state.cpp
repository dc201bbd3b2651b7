#include "ui/taskbar_state.h"

#include <algorithm>

#include "provisioning/provisioning_view.h"

namespace tov {

TaskbarView TaskbarFor(const PanelState& panel) {
  const int percent = std::clamp(panel.position, 0, 100);
  if (panel.statusShown) {
    // A failure stays in sight on the taskbar while the window is behind
    // others; a full red bar, as the position is gone with the bar.
    if (panel.statusText == kTextNetworkFailure || panel.statusText == kTextUnzipFailure) {
      return {TaskbarMode::Error, 100};
    }
    return {};
  }
  if (!panel.progressShown) return {};
  return {panel.waiting ? TaskbarMode::Paused : TaskbarMode::Normal, percent};
}

}  // namespace tov
