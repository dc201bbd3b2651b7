// What TovLauncherTest.exe, the launcher as the end-to-end tests run it,
// has in place of the launcher's own: transfer limits short enough to wait
// out in a test, and a configuration address that names the channel twice.
// Linked ahead of the launcher's library, these definitions are the ones
// used and the library's are never taken.
#include "build_config.h"
#include "provisioning/config_request.h"
#include "provisioning/transfer_limits.h"

const TransferLimits& CurrentTransferLimits() {
  static const TransferLimits limits{5, 2, 30};
  return limits;
}

const wchar_t* ConfigUrlTemplate() {
  return TOV_SERVER_BASE L"/api/qelto/ditches/{ditch_name}/client_config_{ditch_name}.php?lm=bm_gw_zerizaz";
}
