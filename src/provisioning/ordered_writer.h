// Writes files on a thread of its own, one after another in the order given.
#pragma once
#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/fast_sync.h"

namespace tov {

// Unpacking thousands of small files spends most of its time creating and
// closing them, not inflating them; with the writes on another thread the
// two overlap. Order is kept (a later entry of the same name wins, as when
// unpacking in one thread), and after the first failed write nothing more is
// written, so the files on disk are always a prefix of what was handed over.
class OrderedWriter {
 public:
  struct Job {
    std::wstring target;
    std::vector<char> data;
  };
  // Creates or replaces job.target with job.data; false on any failure.
  using WriteFn = std::function<bool(const Job&)>;

  // At most about `budgetBytes` of data wait at any time; Queue() holds the
  // caller back beyond that.
  OrderedWriter(WriteFn write, size_t budgetBytes);
  // Writes whatever is still queued before it returns.
  ~OrderedWriter();
  OrderedWriter(const OrderedWriter&) = delete;
  OrderedWriter& operator=(const OrderedWriter&) = delete;

  // False once a write has failed (this job is then dropped).
  bool Queue(Job job);
  // Waits until every queued job is written; false if one of them failed.
  bool Finish();
  // The target whose write failed first; empty while none has.
  std::wstring FailedTarget() const;

 private:
  void Run();

  WriteFn m_write;
  size_t m_budget;
  mutable FastMutex m_lock;
  FastCondition m_changed;
  std::deque<Job> m_queue;
  size_t m_queuedBytes = 0;
  bool m_bBusy = false;
  bool m_bStopping = false;
  std::wstring m_failed;
  bool m_bFailed = false;
  std::thread m_thread;  // not running when it could not be started
};

}  // namespace tov
