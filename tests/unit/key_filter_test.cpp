#include "ui/key_filter.h"

#include <gtest/gtest.h>

#include <set>

namespace tov {

namespace {

struct HeldKeys : KeyState {
  std::set<int> now, queue;
  bool DownNow(int vk) const override { return now.count(vk) > 0; }
  bool DownInQueue(int vk) const override { return queue.count(vk) > 0; }
};

constexpr unsigned kKeyUp = 0x0101, kChar = 0x0102, kSysKeyDown = 0x0104;

}  // namespace

TEST(PageKeys, RefreshOpenPrintAndNewWindowAreDropped) {
  HeldKeys keys;
  EXPECT_FALSE(DropsPageKey(kKeyDownMessage, keys));
  keys.now = {kVkF5};
  EXPECT_TRUE(DropsPageKey(kKeyDownMessage, keys)) << "F5";
  keys.queue = {kVkControl};
  EXPECT_TRUE(DropsPageKey(kKeyDownMessage, keys)) << "Control+F5";
  for (int letter : {'O', 'P', 'N'}) {
    keys.now = {letter};
    EXPECT_TRUE(DropsPageKey(kKeyDownMessage, keys)) << static_cast<char>(letter);
  }
}

TEST(PageKeys, WhatIsHeldDecidesAndOnlyKeyDownsAreDropped) {
  HeldKeys keys;
  // Control+F (find), Backspace and plain letters keep the engine's way.
  keys.queue = {kVkControl};
  keys.now = {'F'};
  EXPECT_FALSE(DropsPageKey(kKeyDownMessage, keys));
  // Control only in the asynchronous state is not Control for the filter.
  keys.queue = {};
  keys.now = {kVkControl, 'O'};
  EXPECT_FALSE(DropsPageKey(kKeyDownMessage, keys));
  // The letter only in the queue's state is not held now.
  keys.queue = {kVkControl, 'P'};
  keys.now = {};
  EXPECT_FALSE(DropsPageKey(kKeyDownMessage, keys));
  // While F5 is held, every typed key is dropped; other messages pass.
  keys.now = {kVkF5, 'A'};
  EXPECT_TRUE(DropsPageKey(kKeyDownMessage, keys));
  for (unsigned message : {kKeyUp, kChar, kSysKeyDown}) EXPECT_FALSE(DropsPageKey(message, keys));
}

}  // namespace tov
