// Synchronous calls onto the thread that owns a window.
//
// The provisioning worker changes the launcher's windows only through these
// calls: the owning (user-interface) thread runs the change while the worker
// waits, whatever loop it is in at the time (the modal run, a message box).
// The worker names a window by the C++ object that owns it. That object may
// be gone by the time the worker asks, because the modal run ends and the
// process exits while the worker still runs: the pointer is used as a key
// only, never followed, and a call for an object without a live window does
// nothing.
#pragma once
#include <windows.h>

#include <functional>

namespace tov {

// Records that `owner`'s window is `hwnd` until Forget.
void RememberWindow(const void* owner, HWND hwnd);
void ForgetWindow(const void* owner);

// Runs `call` on the thread of `owner`'s window and returns once it has run;
// false when there is no such window (then `call` did not run). On the
// window's own thread it runs at once.
bool CallOnWindowThread(const void* owner, const std::function<void()>& call);

// For the window procedure: true when `msg` carried such a call, which has
// then run.
bool ServeWindowCall(UINT msg, LPARAM lp) noexcept;

}  // namespace tov
