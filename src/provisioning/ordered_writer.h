// Writes files on a thread of its own, one after another in the order given.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/fast_sync.h"
#include "provisioning/package_rules.h"

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
    uint64_t sequence = 0;  // set by OrderedWriterPool
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
  bool Failed() const;
  // The sequence number of the job that failed.
  uint64_t FailedSequence() const;

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
  uint64_t m_failedSequence = 0;
  bool m_bFailed = false;
  std::thread m_thread;  // not running when it could not be started
};

// Several writers, each with a thread: the creation of one file overlaps
// with the file system lookups of the next, which under Wine are about half
// of a small file's cost. A target always goes to the same writer, so files
// of one name still land in the order given: every spelling the file system
// takes for one file ("Data/X.txt" and "data\.\x.TXT") is one name here, its
// letters folded by `fold`: the system's own table, where accented capitals
// and other scripts fold too. The writers do not wait for each other, so
// when one fails another may already have written files handed over after
// the failed one; once the failure is known no later job is started, and every
// job handed over before it is still written.
class OrderedWriterPool {
 public:
  OrderedWriterPool(OrderedWriter::WriteFn write, size_t writers, size_t budgetBytes,
                    NameFold fold = nullptr);
  // Its writers call back into it.
  OrderedWriterPool(const OrderedWriterPool&) = delete;
  OrderedWriterPool& operator=(const OrderedWriterPool&) = delete;

  // False once any write has failed (this job is then dropped).
  bool Queue(OrderedWriter::Job job);
  // Waits for every writer; false if any write failed.
  bool Finish();
  // The target of the earliest job found failed; empty while none has.
  std::wstring FailedTarget() const;

 private:
  bool Write(const OrderedWriter::Job& job);

  OrderedWriter::WriteFn m_write;
  NameFold m_fold;
  std::atomic<uint64_t> m_failedAt{UINT64_MAX};
  uint64_t m_next = 0;
  std::vector<std::unique_ptr<OrderedWriter>> m_writers;  // last: they call Write()
};

}  // namespace tov
