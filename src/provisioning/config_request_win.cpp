#include "provisioning/config_request.h"

#include "base/launcher_settings.h"

const wchar_t* ConfigUrlTemplate() { return LauncherSettings::ConfigUrl; }
