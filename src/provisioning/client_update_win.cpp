#include "provisioning/game_remote_config.h"

// The version decision comes here. Until it does, the worker's run ends
// once the entry page has been requested.
void CGameRemoteConfig::DecideClientUpdate(CWebDlg*) {}
