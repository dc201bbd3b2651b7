#include "provisioning/entry_check.h"

namespace tov {

bool IsCheckedMethod(unsigned long method) {
  constexpr unsigned long kStored = 0;
  constexpr unsigned long kDeflated = 8;
  return method == kStored || method == kDeflated;
}

bool IsEntryReadWhole(uint64_t declaredSize, uint64_t bytesRead, bool checksumMatched) {
  return checksumMatched && bytesRead == declaredSize;
}

}  // namespace tov
