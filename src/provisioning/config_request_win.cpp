#include "provisioning/config_request.h"

#include "app/launcher_settings.h"

// Without limits a server that accepts the connection and then says nothing
// would leave the launcher at its start state forever; with them that is a
// failed transfer like any other.
const ConfigRequest kConfigRequest{LauncherSettings::ConfigUrl, 30, 60};
