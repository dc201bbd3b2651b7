#include "provisioning/ordered_writer.h"

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
      // What came after a failed file is not written: the files on disk stay
      // those of the entries before it.
      for (const Job& dropped : m_queue) m_queuedBytes -= dropped.data.size();
      m_queue.clear();
    }
    m_changed.notify_all();
  }
}

}  // namespace tov
