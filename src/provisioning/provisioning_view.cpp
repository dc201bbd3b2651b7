#include "provisioning/provisioning_view.h"

namespace tov {

bool VisibleInMode(DisplayMode mode, PanelControl control) {
  bool statusOnly = mode == DisplayMode::StatusText;
  return (control == PanelControl::StatusText) == statusOnly;
}

}  // namespace tov
