// A stalled step ends the wait; slow progress does not.
#include "telemetry/step_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace tov {

using std::chrono::milliseconds;

TEST(StepWatch, WorkThatKeepsAdvancingMayTakeLongerThanOneWait) {
  int steps = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(RunWithStepTimeout(
      [&steps](const StepDone& step) {
        for (; steps < 4; ++steps, step()) std::this_thread::sleep_for(milliseconds(250));
      },
      800));
  EXPECT_EQ(steps, 4) << "the work's results are there when the wait ends";
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(1000));
  EXPECT_TRUE(RunWithStepTimeout([](const StepDone&) { throw 1; }, 800)) << "a throw ends the work";
}

TEST(StepWatch, AStalledStepEndsTheWaitAndTheThreadIsLeftToItself) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> finished;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunWithStepTimeout(
      [released, &finished](const StepDone& step) {
        step();
        released.wait();  // a call that does not come back
        finished.set_value();
      },
      300));
  // No upper bound: a wait that followed the stuck call would never end.
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(300));
  // Only now does the stuck call come back; the abandoned thread ends.
  release.set_value();
  EXPECT_EQ(finished.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
}

}  // namespace tov
