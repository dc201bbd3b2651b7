// The steps that make a current client reachable. Both endings of the
// update take them, the one that found the client current and the one that
// has just installed it; only the installation has an archive to delete and
// a new version to record.
#pragma once
#include <vector>

namespace tov {

enum class ClientEnding { UpToDate, Installed };

enum class ReachStep {
  DeleteArchive,     // the downloaded package, no longer needed
  Register,          // the uninstall entry
  CopyLauncher,      // the launcher into InstallRoot, and the links when it is there
  WriteVersionFile,  // the version now installed, after every file of it
  ShowDone,          // the panel's "update done" text
  SetReady,          // may start the game at once
  LogFinish,         // the worker's closing line
};

std::vector<ReachStep> ReachablePlan(ClientEnding ending);

}  // namespace tov
