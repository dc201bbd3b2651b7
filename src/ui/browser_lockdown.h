// Which document mode the page's engine is asked for.
#pragma once
#include <cstdint>
#include <string>

namespace tov {

// The FEATURE_BROWSER_EMULATION value that makes an engine of the installed
// version render every page in its own newest standards mode, whatever the
// page's DOCTYPE says: 8888, 9999, 10001, 11001 for Internet Explorer 8 to
// 11. `version` is the installed engine's version as its registry key
// gives it ("svcVersion" "11.1.19041.0", or "Version" "9.11.9600.0" where
// there is no svcVersion). 0 for an engine older than 8, or a version that
// cannot be read: the setting is then left alone. A newer engine than 11
// keeps 11001, the last value there is.
uint32_t BrowserEmulationValue(const std::wstring& version);

}  // namespace tov
