#include "telemetry/step_watch.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace tov {

namespace {

struct Progress {
  std::mutex lock;
  std::condition_variable changed;
  unsigned long steps = 0;
  bool ended = false;
};

}  // namespace

bool RunWithStepTimeout(std::function<void(const StepDone&)> work, unsigned stepTimeoutMs) {
  // Shared with the thread, which may outlive this call.
  auto progress = std::make_shared<Progress>();
  try {
    std::thread([progress, work = std::move(work)] {
      StepDone step = [progress] {
        std::lock_guard<std::mutex> hold(progress->lock);
        ++progress->steps;
        progress->changed.notify_all();
      };
      try {
        work(step);
      } catch (...) {
      }
      std::lock_guard<std::mutex> hold(progress->lock);
      progress->ended = true;
      progress->changed.notify_all();
    }).detach();
  } catch (...) {
    return false;  // no thread to be had: the work never ran
  }

  std::unique_lock<std::mutex> hold(progress->lock);
  for (;;) {
    const unsigned long seen = progress->steps;
    if (!progress->changed.wait_for(hold, std::chrono::milliseconds(stepTimeoutMs),
                                    [&] { return progress->ended || progress->steps != seen; })) {
      return false;
    }
    if (progress->ended) return true;
  }
}

}  // namespace tov
