#include "ui/window_calls_win.h"

#include <mutex>
#include <unordered_map>

namespace tov {

namespace {

constexpr UINT kWindowCallMessage = WM_APP + 0x2A0;

struct PendingCall {
  const std::function<void()>* call;
  bool ran;
};

class WindowBook {
 public:
  void Set(const void* owner, HWND hwnd) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_windows[owner] = hwnd;
  }
  void Erase(const void* owner) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_windows.erase(owner);
  }
  HWND Find(const void* owner) {
    std::lock_guard<std::mutex> hold(m_lock);
    auto it = m_windows.find(owner);
    return it == m_windows.end() ? nullptr : it->second;
  }

 private:
  std::mutex m_lock;
  std::unordered_map<const void*, HWND> m_windows;
};

// Never destroyed: the worker may ask while static destructors run at exit.
WindowBook& Book() {
  static WindowBook* book = new WindowBook();
  return *book;
}

}  // namespace

void RememberWindow(const void* owner, HWND hwnd) { Book().Set(owner, hwnd); }

void ForgetWindow(const void* owner) { Book().Erase(owner); }

bool CallOnWindowThread(const void* owner, const std::function<void()>& call) {
  // The book's lock is released before the send: the window's thread takes
  // it too (when a window goes), and must never wait for a blocked caller.
  HWND hwnd = Book().Find(owner);
  if (!hwnd) return false;
  PendingCall pending{&call, false};
  // A window destroyed in the meantime fails the send, and `ran` stays false.
  ::SendMessageW(hwnd, kWindowCallMessage, 0, reinterpret_cast<LPARAM>(&pending));
  return pending.ran;
}

bool ServeWindowCall(UINT msg, LPARAM lp) noexcept {
  if (msg != kWindowCallMessage) return false;
  auto* pending = reinterpret_cast<PendingCall*>(lp);
  try {
    (*pending->call)();
    pending->ran = true;
  } catch (...) {
    // The caller learns that the call did not run, as for a window gone.
  }
  return true;
}

}  // namespace tov
