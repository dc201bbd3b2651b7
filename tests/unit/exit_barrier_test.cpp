// The end of the run waits for the steps that may not be cut, and for no
// step that begins after it.
#include "base/exit_barrier.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace tov {

using std::chrono::milliseconds;

TEST(ExitBarrier, ClosingWaitsForTheStepsUnderWayAndRefusesLaterOnes) {
  ExitBarrier barrier;
  std::promise<void> entered;
  std::atomic<bool> stepDone{false};
  std::thread step([&] {
    ExitBarrier::Pass pass = barrier.Enter();
    ASSERT_TRUE(pass);
    entered.set_value();
    std::this_thread::sleep_for(milliseconds(200));
    stepDone = true;
  });
  entered.get_future().wait();
  EXPECT_TRUE(barrier.Close(milliseconds(5000)));
  EXPECT_TRUE(stepDone) << "the close returned while the step still ran";
  step.join();
  EXPECT_FALSE(barrier.Enter()) << "a step began after the close";
  EXPECT_TRUE(barrier.Close(milliseconds(0))) << "a refused pass counts as out";
}

TEST(ExitBarrier, AStepThatDoesNotEndBoundsTheWait) {
  ExitBarrier barrier;
  ExitBarrier::Pass stuck = barrier.Enter();
  ExitBarrier::Pass moved = std::move(stuck);
  EXPECT_FALSE(stuck);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(barrier.Close(milliseconds(100)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(100));
}

TEST(ExitBarrier, WorkStoppedByTheCloseParksAndLetsTheCloseReturn) {
  // The parked thread outlives the test: what it uses must too.
  static ExitBarrier* barrier = new ExitBarrier();
  static std::atomic<bool> wentOn{false};
  std::thread([] {
    ExitBarrier::Pass pass = barrier->Enter();
    while (!barrier->Closed()) std::this_thread::sleep_for(milliseconds(1));
    barrier->Park(std::move(pass));
    wentOn = true;
  }).detach();
  EXPECT_TRUE(barrier->Close(milliseconds(5000))) << "the parked work still held its pass";
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_FALSE(wentOn) << "work went on after the close";
}

}  // namespace tov
