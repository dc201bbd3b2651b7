#include "ui/common_controls_win.h"

#include <windows.h>
#include <commctrl.h>

#include <mutex>

#include "base/unique_handle.h"

namespace {

struct Loading {
  std::mutex lock;
  bool started = false;
  tov::UniqueHandleK thread;
};

// Never destroyed: it is waited for from the process's end.
Loading& State() {
  static Loading* state = new Loading();
  return *state;
}

DWORD WINAPI Initialise(void*) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&icc);
  return 0;
}

}  // namespace

void StartCommonControls() {
  Loading& state = State();
  std::lock_guard<std::mutex> hold(state.lock);
  if (state.started) return;
  state.started = true;
  state.thread.reset(::CreateThread(nullptr, 0, &Initialise, nullptr, 0, nullptr));
  // Without a thread the window waits for them instead.
  if (!state.thread) Initialise(nullptr);
}

void WaitForCommonControls() {
  Loading& state = State();
  std::lock_guard<std::mutex> hold(state.lock);
  if (state.thread) {
    ::WaitForSingleObject(state.thread.get(), INFINITE);
    state.thread.reset();
  }
}
