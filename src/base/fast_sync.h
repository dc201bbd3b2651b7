// A lock and a condition variable for hand-overs that happen thousands of
// times a second. The C++ library's own wait through kernel events, each a
// round trip to the wineserver under Wine; the Win32 slim lock and condition
// variable wait in-process (on a futex under Wine). Elsewhere the standard
// ones are used, so plain logic built on these is tested natively.
#pragma once
#include <mutex>

#ifdef _WIN32
#include <windows.h>

namespace tov {

class FastMutex {
 public:
  void lock() { ::AcquireSRWLockExclusive(&m_lock); }
  void unlock() { ::ReleaseSRWLockExclusive(&m_lock); }
  bool try_lock() { return ::TryAcquireSRWLockExclusive(&m_lock) != FALSE; }
  SRWLOCK* native() { return &m_lock; }

 private:
  SRWLOCK m_lock = SRWLOCK_INIT;
};

class FastCondition {
 public:
  template <typename Predicate>
  void wait(std::unique_lock<FastMutex>& hold, Predicate ready) {
    while (!ready()) ::SleepConditionVariableSRW(&m_cond, hold.mutex()->native(), INFINITE, 0);
  }
  void notify_all() { ::WakeAllConditionVariable(&m_cond); }

 private:
  CONDITION_VARIABLE m_cond = CONDITION_VARIABLE_INIT;
};

}  // namespace tov

#else
#include <condition_variable>

namespace tov {
using FastMutex = std::mutex;
using FastCondition = std::condition_variable;
}  // namespace tov
#endif
