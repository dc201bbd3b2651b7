#include "provisioning/ordered_writer.h"

#include <algorithm>
#include <mutex>
#include <system_error>
#include <utility>

namespace tov {

OrderedWriter::OrderedWriter(WriteFn write, size_t budgetBytes)
    : m_write(std::move(write)), m_budget(budgetBytes) {
  try {
    m_thread = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // No thread to spare: Queue() writes in the caller's thread instead.
  }
}

OrderedWriter::~OrderedWriter() {
  Finish();
  {
    std::lock_guard<FastMutex> hold(m_lock);
    m_bStopping = true;
  }
  m_changed.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

bool OrderedWriter::Queue(Job job) {
  if (!m_thread.joinable()) {
    std::lock_guard<FastMutex> hold(m_lock);
    if (m_bFailed) return false;
    if (!m_write(job)) {
      m_bFailed = true;
      m_failed = job.target;
      m_failedSequence = job.sequence;
    }
    return !m_bFailed;
  }
  std::unique_lock<FastMutex> hold(m_lock);
  // One job always fits, however large, or a big one could never go.
  m_changed.wait(hold, [&] {
    return m_bFailed || m_queue.empty() || m_queuedBytes + job.data.size() <= m_budget;
  });
  if (m_bFailed) return false;
  m_queuedBytes += job.data.size();
  m_queue.push_back(std::move(job));
  hold.unlock();
  m_changed.notify_all();
  return true;
}

bool OrderedWriter::Finish() {
  std::unique_lock<FastMutex> hold(m_lock);
  m_changed.wait(hold, [&] { return m_queue.empty() && !m_bBusy; });
  return !m_bFailed;
}

std::wstring OrderedWriter::FailedTarget() const {
  std::lock_guard<FastMutex> hold(m_lock);
  return m_failed;
}

uint64_t OrderedWriter::FailedSequence() const {
  std::lock_guard<FastMutex> hold(m_lock);
  return m_failedSequence;
}

bool OrderedWriter::Failed() const {
  std::lock_guard<FastMutex> hold(m_lock);
  return m_bFailed;
}

void OrderedWriter::Run() {
  std::unique_lock<FastMutex> hold(m_lock);
  for (;;) {
    m_changed.wait(hold, [&] { return m_bStopping || !m_queue.empty(); });
    if (m_queue.empty()) return;  // stopping, and nothing left
    Job job = std::move(m_queue.front());
    m_queue.pop_front();
    m_bBusy = true;
    hold.unlock();
    bool ok = m_write(job);
    hold.lock();
    m_bBusy = false;
    m_queuedBytes -= job.data.size();
    if (!ok && !m_bFailed) {
      m_bFailed = true;
      m_failed = job.target;
      m_failedSequence = job.sequence;
      // What came after a failed file is not written: the files on disk stay
      // those of the entries before it.
      for (const Job& dropped : m_queue) m_queuedBytes -= dropped.data.size();
      m_queue.clear();
    }
    m_changed.notify_all();
  }
}

OrderedWriterPool::OrderedWriterPool(OrderedWriter::WriteFn write, size_t writers,
                                     size_t budgetBytes, NameFold fold)
    : m_write(std::move(write)), m_fold(std::move(fold)) {
  size_t count = std::max<size_t>(writers, 1);
  for (size_t i = 0; i < count; ++i) {
    m_writers.push_back(std::make_unique<OrderedWriter>(
        [this](const OrderedWriter::Job& job) { return Write(job); }, budgetBytes / count));
  }
}

bool OrderedWriterPool::Write(const OrderedWriter::Job& job) {
  // Handed over after a file that failed: left out, as if unpacking had
  // stopped there. Counted as done; the failure is already known.
  if (job.sequence > m_failedAt.load()) return true;
  if (m_write(job)) return true;
  uint64_t earliest = m_failedAt.load();
  while (job.sequence < earliest && !m_failedAt.compare_exchange_weak(earliest, job.sequence)) {
  }
  return false;
}

bool OrderedWriterPool::Queue(OrderedWriter::Job job) {
  if (m_failedAt.load() != UINT64_MAX) return false;
  // The name as the file system compares it, for the choice only.
  size_t hash = 1469598103934665603ull;
  for (wchar_t c : ComparableName(job.target, m_fold)) {
    hash = (hash ^ static_cast<size_t>(c)) * 1099511628211ull;
  }
  job.sequence = m_next++;
  return m_writers[hash % m_writers.size()]->Queue(std::move(job));
}

bool OrderedWriterPool::Finish() {
  for (const auto& writer : m_writers) writer->Finish();
  return m_failedAt.load() == UINT64_MAX;
}

std::wstring OrderedWriterPool::FailedTarget() const {
  // Each writer fails at most once; the earliest of their failures is the one
  // that ended the work.
  std::wstring first;
  uint64_t firstAt = UINT64_MAX;
  for (const auto& writer : m_writers) {
    if (writer->Failed() && writer->FailedSequence() < firstAt) {
      firstAt = writer->FailedSequence();
      first = writer->FailedTarget();
    }
  }
  return first;
}

}  // namespace tov
