#include "ui/key_filter.h"

namespace tov {

bool DropsPageKey(unsigned message, const KeyState& keys) {
  if (message != kKeyDownMessage) return false;
  if (keys.DownNow(kVkF5)) return true;
  return keys.DownInQueue(kVkControl) &&
         (keys.DownNow('O') || keys.DownNow('P') || keys.DownNow('N'));
}

}  // namespace tov
