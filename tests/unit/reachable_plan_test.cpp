#include "provisioning/reachable_plan.h"

#include <gtest/gtest.h>

namespace tov {

namespace {

size_t IndexOf(const std::vector<ReachStep>& plan, ReachStep step) {
  for (size_t i = 0; i < plan.size(); ++i) {
    if (plan[i] == step) return i;
  }
  return plan.size();
}

}  // namespace

// Both endings leave the client reachable the same way; the installation
// alone has an archive to remove and a version to record, and records it
// only once everything else is in place, so a start that ends halfway never
// takes a half-made client for current.
TEST(ReachablePlan, BothEndingsRegisterCopyAndBecomeReadyLast) {
  const std::vector<ReachStep> upToDate = ReachablePlan(ClientEnding::UpToDate);
  const std::vector<ReachStep> installed = ReachablePlan(ClientEnding::Installed);
  EXPECT_EQ(upToDate, (std::vector<ReachStep>{ReachStep::Register, ReachStep::CopyLauncher,
                                              ReachStep::ShowDone, ReachStep::SetReady,
                                              ReachStep::LogFinish}));
  EXPECT_EQ(installed,
            (std::vector<ReachStep>{ReachStep::DeleteArchive, ReachStep::Register,
                                    ReachStep::CopyLauncher, ReachStep::WriteVersionFile,
                                    ReachStep::ShowDone, ReachStep::SetReady}));
  for (const auto& plan : {upToDate, installed}) {
    EXPECT_LT(IndexOf(plan, ReachStep::Register), IndexOf(plan, ReachStep::CopyLauncher));
    EXPECT_LT(IndexOf(plan, ReachStep::ShowDone), IndexOf(plan, ReachStep::SetReady));
  }
  EXPECT_EQ(IndexOf(upToDate, ReachStep::WriteVersionFile), upToDate.size())
      << "a current client's version file is left as it is";
  EXPECT_EQ(IndexOf(upToDate, ReachStep::DeleteArchive), upToDate.size());
}

}  // namespace tov
