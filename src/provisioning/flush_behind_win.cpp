#include "provisioning/flush_behind_win.h"

#include <mutex>
#include <system_error>

FlushBehind::FlushBehind(size_t threads, size_t maxWaiting) : m_maxWaiting(maxWaiting) {
  try {
    for (size_t i = 0; i < threads; ++i) m_threads.emplace_back([this] { Run(); });
  } catch (const std::system_error&) {
    // Fewer threads, or none: Hand() flushes in the caller's thread then.
  }
}

FlushBehind::~FlushBehind() {
  Finish();
  {
    std::lock_guard<tov::FastMutex> hold(m_lock);
    m_bStopping = true;
  }
  m_changed.notify_all();
  for (std::thread& t : m_threads) t.join();
}

void FlushBehind::Hand(tov::UniqueHandleK file, std::wstring target) {
  if (m_threads.empty()) {
    bool flushed = ::FlushFileBuffers(file.get()) != FALSE;
    std::lock_guard<tov::FastMutex> hold(m_lock);
    if (!flushed && m_failed.empty()) m_failed = std::move(target);
    return;
  }
  std::unique_lock<tov::FastMutex> hold(m_lock);
  m_changed.wait(hold, [&] { return m_waiting.size() < m_maxWaiting; });
  m_waiting.emplace_back(std::move(file), std::move(target));
  hold.unlock();
  m_changed.notify_all();
}

bool FlushBehind::Finish() {
  std::unique_lock<tov::FastMutex> hold(m_lock);
  m_changed.wait(hold, [&] { return m_waiting.empty() && m_busy == 0; });
  return m_failed.empty();
}

std::wstring FlushBehind::FailedTarget() const {
  std::lock_guard<tov::FastMutex> hold(m_lock);
  return m_failed;
}

void FlushBehind::Run() {
  std::unique_lock<tov::FastMutex> hold(m_lock);
  for (;;) {
    m_changed.wait(hold, [&] { return m_bStopping || !m_waiting.empty(); });
    if (m_waiting.empty()) return;  // stopping, and nothing left
    auto [file, target] = std::move(m_waiting.front());
    m_waiting.pop_front();
    ++m_busy;
    hold.unlock();
    bool flushed = ::FlushFileBuffers(file.get()) != FALSE;
    file.reset();
    hold.lock();
    --m_busy;
    if (!flushed && m_failed.empty()) m_failed = target;
    m_changed.notify_all();
  }
}
