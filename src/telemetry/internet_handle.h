// Ownership of WinInet handles, with the launcher's one handle wrapper.
#pragma once
#include <windows.h>
#include <wininet.h>

#include "base/unique_handle.h"

namespace tov {

struct InternetHandleTraits {
  static HINTERNET invalid() { return nullptr; }
  static bool valid(HINTERNET h) { return h != nullptr; }
  static void close(HINTERNET h) { ::InternetCloseHandle(h); }
};
using UniqueInternet = UniqueHandle<HINTERNET, InternetHandleTraits>;

}  // namespace tov
