#include "provisioning/ordered_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tov {

namespace {

OrderedWriter::Job MakeJob(int i, size_t size = 10) {
  return {L"f" + std::to_wstring(i), std::vector<char>(size, static_cast<char>('a' + i % 26))};
}

// Records what was written, in order, and can fail one target.
struct Disk {
  bool Write(const OrderedWriter::Job& job) {
    std::lock_guard<std::mutex> hold(lock);
    if (job.target == failOn) return false;
    written.push_back(job.target);
    return true;
  }
  std::mutex lock;
  std::vector<std::wstring> written;
  std::wstring failOn;
};

}  // namespace

TEST(OrderedWriter, WritesEveryJobInTheOrderGiven) {
  Disk disk;
  std::vector<std::wstring> expected;
  {
    OrderedWriter writer([&](const OrderedWriter::Job& j) { return disk.Write(j); }, 64);
    for (int i = 0; i < 2000; ++i) {
      ASSERT_TRUE(writer.Queue(MakeJob(i, i % 50)));
      expected.push_back(L"f" + std::to_wstring(i));
    }
    ASSERT_TRUE(writer.Finish());
    EXPECT_EQ(disk.written, expected);
    // Jobs still queued when the writer goes are written, not dropped.
    for (int i = 2000; i < 2100; ++i) {
      ASSERT_TRUE(writer.Queue(MakeJob(i)));
      expected.push_back(L"f" + std::to_wstring(i));
    }
  }
  EXPECT_EQ(disk.written, expected);
}

TEST(OrderedWriter, NothingAfterAFailedWriteIsWritten) {
  Disk disk;
  disk.failOn = L"f500";
  OrderedWriter writer([&](const OrderedWriter::Job& j) { return disk.Write(j); }, 1 << 20);
  int queued = 0;
  for (int i = 0; i < 1000 && writer.Queue(MakeJob(i)); ++i) ++queued;
  EXPECT_FALSE(writer.Finish());
  EXPECT_FALSE(writer.Queue(MakeJob(2000)));
  EXPECT_EQ(writer.FailedTarget(), L"f500");
  ASSERT_EQ(disk.written.size(), 500u);
  EXPECT_EQ(disk.written.back(), L"f499");
  EXPECT_GE(queued, 501);
}

TEST(OrderedWriter, TheCallerWaitsWhileTheBudgetIsSpent) {
  std::atomic<size_t> waiting{0}, most{0};
  std::atomic<bool> slow{true};
  OrderedWriter writer(
      [&](const OrderedWriter::Job& job) {
        if (slow) std::this_thread::sleep_for(std::chrono::microseconds(200));
        waiting -= job.data.size();
        return true;
      },
      1000);
  for (int i = 0; i < 300; ++i) {
    waiting += 100;
    size_t now = waiting;
    most = std::max<size_t>(most, now);
    ASSERT_TRUE(writer.Queue(MakeJob(i, 100)));
  }
  // A job larger than the whole budget still goes through.
  waiting += 5000;
  slow = false;
  EXPECT_TRUE(writer.Queue(MakeJob(1, 5000)));
  EXPECT_TRUE(writer.Finish());
  EXPECT_EQ(waiting, 0u);
  // The budget plus the job being handed over.
  EXPECT_LE(most, 1100u);
}

}  // namespace tov
