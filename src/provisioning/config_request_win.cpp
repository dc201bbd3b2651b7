#include "provisioning/config_request.h"

#include "app/launcher_settings.h"

const wchar_t* ConfigUrlTemplate() { return LauncherSettings::ConfigUrl; }
