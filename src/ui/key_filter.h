// Which keys the page may not have: refresh (F5, also with Control) and the
// engine's open, print and new-window commands (Control+O, P, N). The test
// is on the keys held at the moment, not on the key a message carries.
#pragma once

namespace tov {

// Virtual-key codes and the key-down message, as the system numbers them.
inline constexpr int kVkControl = 0x11;
inline constexpr int kVkF5 = 0x74;
inline constexpr unsigned kKeyDownMessage = 0x0100;

class KeyState {
 public:
  // The key is down at this moment (asynchronous state).
  virtual bool DownNow(int virtualKey) const = 0;
  // The key is down as the message queue has seen it so far.
  virtual bool DownInQueue(int virtualKey) const = 0;

 protected:
  ~KeyState() = default;
};

// True when the engine must drop the message: a key-down while F5 is held,
// or while Control (queue state) and then O, P or N (now) are held. Every
// other message, key-ups, system keys and characters included, passes.
bool DropsPageKey(unsigned message, const KeyState& keys);

}  // namespace tov
