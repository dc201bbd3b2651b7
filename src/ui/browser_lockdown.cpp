#include "ui/browser_lockdown.h"

#include <cwctype>

namespace tov {

uint32_t BrowserEmulationValue(const std::wstring& version) {
  uint32_t major = 0;
  size_t i = 0;
  for (; i < version.size() && std::iswdigit(static_cast<wint_t>(version[i])) && i < 4; ++i) {
    major = major * 10 + static_cast<uint32_t>(version[i] - L'0');
  }
  if (i == 0 || (i < version.size() && version[i] != L'.')) return 0;
  switch (major) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 7:
      return 0;
    case 8:
      return 8888;
    case 9:
      return 9999;
    case 10:
      return 10001;
    default:
      return 11001;
  }
}

}  // namespace tov
