// Steps that the end of the process must not cut in half. When the launcher
// closes, the process ends and takes its other threads with it wherever they
// are. Most of their work survives that (a download continues where it was,
// an extraction starts over), but a few steps do not: a thread killed inside
// COM or the loader can leave a lock held that the process's own end then
// waits for, and a game process created but not yet resumed would be left
// doing nothing. Such a step runs behind a pass; the end of the run closes
// the barrier, which refuses new passes and waits, bounded, for the ones
// given out.
//
// Long work (an extraction, a download) holds a pass too, but does not run
// to its end: it looks at Closed() between its steps and, once closed, stops
// its helper threads or its transfer and parks. Under Wine a thread ended
// inside a system call can leave one of the system's own locks held, and the
// process's end then waits for that lock forever.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tov {

class ExitBarrier {
 public:
  class Pass {
   public:
    Pass(Pass&& other) noexcept : m_barrier(other.m_barrier) { other.m_barrier = nullptr; }
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;
    Pass& operator=(Pass&&) = delete;
    ~Pass();
    // False once the barrier is closed: the step is to be skipped.
    explicit operator bool() const { return m_barrier != nullptr; }

   private:
    friend class ExitBarrier;
    explicit Pass(ExitBarrier* barrier) : m_barrier(barrier) {}
    ExitBarrier* m_barrier;
  };

  Pass Enter();
  // A pass, or once closed the wait for the process's end: for work that
  // must not begin after the close.
  Pass EnterOrPark();
  // Refuses every later pass, then waits up to `limit` for the passes out;
  // false when one is still out at the end.
  bool Close(std::chrono::milliseconds limit);
  // Whether Close() has begun.
  bool Closed() const { return m_closed.load(); }
  // A pause that the close ends early; true when it did (or had already).
  bool WaitClosed(std::chrono::milliseconds limit);
  // Gives the pass back and waits for the process's end: for a thread whose
  // work the close has stopped, so that nothing after that work runs.
  [[noreturn]] void Park(Pass pass);

 private:
  void Leave();

  std::mutex m_lock;
  std::condition_variable m_left;
  std::condition_variable m_closing;
  int m_passes = 0;
  std::atomic<bool> m_closed{false};
};

// The process's one barrier. Never destroyed: a pass may still be out when
// the static destructors run.
ExitBarrier& ProcessExitBarrier();

}  // namespace tov
