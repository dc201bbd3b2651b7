#include "base/exit_barrier.h"

namespace tov {

ExitBarrier::Pass::~Pass() {
  if (m_barrier) m_barrier->Leave();
}

ExitBarrier::Pass ExitBarrier::Enter() {
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_closed) return Pass(nullptr);
  ++m_passes;
  return Pass(this);
}

ExitBarrier::Pass ExitBarrier::EnterOrPark() {
  Pass pass = Enter();
  if (!pass) Park(std::move(pass));
  return pass;
}

void ExitBarrier::Leave() {
  std::lock_guard<std::mutex> hold(m_lock);
  if (--m_passes == 0) m_left.notify_all();
}

bool ExitBarrier::Close(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> hold(m_lock);
  m_closed = true;
  m_closing.notify_all();
  return m_left.wait_for(hold, limit, [this] { return m_passes == 0; });
}

bool ExitBarrier::WaitClosed(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> hold(m_lock);
  return m_closing.wait_for(hold, limit, [this] { return m_closed.load(); });
}

void ExitBarrier::Park(Pass pass) {
  { Pass given = std::move(pass); }
  std::unique_lock<std::mutex> hold(m_lock);
  for (;;) m_left.wait(hold);
}

ExitBarrier& ProcessExitBarrier() {
  static ExitBarrier* barrier = new ExitBarrier();
  return *barrier;
}

}  // namespace tov
