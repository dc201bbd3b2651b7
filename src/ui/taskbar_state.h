// What the launcher's taskbar button shows, from what the panel shows: the
// bar's position while it downloads or unpacks, the paused look while a
// retry waits, the error look with a failure text, nothing otherwise.
#pragma once
#include <string>

namespace tov {

enum class TaskbarMode { None, Normal, Paused, Error };

struct TaskbarView {
  TaskbarMode mode = TaskbarMode::None;
  int percent = 0;  // 0..100; meaningful unless mode is None
  bool operator==(const TaskbarView& o) const { return mode == o.mode && percent == o.percent; }
  bool operator!=(const TaskbarView& o) const { return !(*this == o); }
};

// The panel's provisioning controls as they stand.
struct PanelState {
  bool progressShown = false;
  int position = 0;
  bool statusShown = false;
  std::wstring statusText;
  bool waiting = false;  // the download pauses before a retry
};

TaskbarView TaskbarFor(const PanelState& panel);

}  // namespace tov
