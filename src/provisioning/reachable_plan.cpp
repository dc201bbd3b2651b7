#include "provisioning/reachable_plan.h"

namespace tov {

std::vector<ReachStep> ReachablePlan(ClientEnding ending) {
  if (ending == ClientEnding::UpToDate) {
    return {ReachStep::Register, ReachStep::CopyLauncher, ReachStep::ShowDone, ReachStep::SetReady,
            ReachStep::LogFinish};
  }
  return {ReachStep::DeleteArchive, ReachStep::Register,  ReachStep::CopyLauncher,
          ReachStep::WriteVersionFile, ReachStep::ShowDone, ReachStep::SetReady};
}

}  // namespace tov
