// The browser engine's process-wide restrictions, set before the page's
// control is created.
#pragma once

// The engine's own lockdowns for this process (local machine zone, zone
// elevation, ActiveX installation, script input prompts, protocols), and
// the page's document mode for the launcher's executable name. Once per
// process; a setting the system refuses is logged and the launcher goes on.
void LockDownBrowserEngine();
