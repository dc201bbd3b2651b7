#include "provisioning/entry_check.h"

namespace tov {

bool IsEntryReadWhole(uint64_t declaredSize, uint64_t bytesRead, bool checksumMatched) {
  return checksumMatched && bytesRead == declaredSize;
}

}  // namespace tov
