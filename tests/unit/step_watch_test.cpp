// A stalled step ends the wait; slow progress does not.
#include "telemetry/step_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace tov {

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

TEST(StepWatch, WorkThatKeepsAdvancingMayTakeLongerThanOneWait) {
  int steps = 0;
  const auto start = Clock::now();
  EXPECT_TRUE(RunWithStepTimeout(
      [&steps](const StepDone& step) {
        for (int i = 0; i < 4; ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(250));
          ++steps;
          step();
        }
      },
      800));
  EXPECT_EQ(steps, 4) << "the work's results are there when the wait ends";
  EXPECT_GE(MsSince(start), 1000);
  // Work that throws has ended too.
  EXPECT_TRUE(RunWithStepTimeout([](const StepDone&) { throw 1; }, 800));
}

TEST(StepWatch, AStalledStepEndsTheWaitAndTheThreadIsLeftToItself) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> finished;
  std::future<void> threadEnded = finished.get_future();
  const auto start = Clock::now();
  EXPECT_FALSE(RunWithStepTimeout(
      [released, &finished](const StepDone& step) {
        step();
        step();
        released.wait();  // a call that never returns
        finished.set_value();
      },
      300));
  const long long waited = MsSince(start);
  EXPECT_GE(waited, 300);
  EXPECT_LT(waited, 3000);
  // Only now does the stuck call come back; the abandoned thread ends.
  release.set_value();
  EXPECT_EQ(threadEnded.wait_for(std::chrono::seconds(10)), std::future_status::ready);

  // Silence from the very start counts as well.
  std::promise<void> never;
  std::shared_future<void> held = never.get_future().share();
  EXPECT_FALSE(RunWithStepTimeout([held](const StepDone&) { held.wait(); }, 100));
  never.set_value();
}

}  // namespace tov
