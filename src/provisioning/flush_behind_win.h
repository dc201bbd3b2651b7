// Flushes finished files to disk and closes them behind the writers.
#pragma once
#include <windows.h>

#include <deque>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/fast_sync.h"
#include "base/unique_handle.h"

// The version file may only say "installed" once every file of the client
// is on disk, so each one is flushed before it is closed. A flush waits for
// the disk; done by the thread that writes, that wait would come on top of
// every small file's cost, and with the flushes on threads of their own the
// disk's waits overlap each other and the writing of the next files. Files
// handed over stay open until flushed, so they must be opened with every
// sharing mode: a later entry of the same name opens the file again while
// it waits here.
class FlushBehind {
 public:
  FlushBehind(size_t threads, size_t maxWaiting);
  // Flushes and closes whatever is still waiting.
  ~FlushBehind();
  FlushBehind(const FlushBehind&) = delete;
  FlushBehind& operator=(const FlushBehind&) = delete;

  // Takes the file over; waits while `maxWaiting` files are waiting. A
  // failed flush shows in Finish().
  void Hand(tov::UniqueHandleK file, std::wstring target);
  // Waits until every file handed over is flushed and closed; false when
  // one could not be flushed.
  bool Finish();
  // The first file that could not be flushed; empty while none.
  std::wstring FailedTarget() const;

 private:
  void Run();

  size_t m_maxWaiting;
  mutable tov::FastMutex m_lock;
  tov::FastCondition m_changed;
  std::deque<std::pair<tov::UniqueHandleK, std::wstring>> m_waiting;
  size_t m_busy = 0;
  bool m_bStopping = false;
  std::wstring m_failed;
  std::vector<std::thread> m_threads;  // none when none could be started
};
