#include "provisioning/provisioning_view.h"

#include <gtest/gtest.h>

namespace tov {

TEST(DisplayModes, StatusTextStandsAloneProgressShowsTheRest) {
  for (PanelControl c : kProvisioningControls) {
    EXPECT_EQ(VisibleInMode(DisplayMode::StatusText, c), c == PanelControl::StatusText);
    EXPECT_EQ(VisibleInMode(DisplayMode::Progress, c), c != PanelControl::StatusText);
  }
}

}  // namespace tov
