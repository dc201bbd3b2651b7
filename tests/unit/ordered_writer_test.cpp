#include "provisioning/ordered_writer.h"

#include <gtest/gtest.h>

#include "wide_fold.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
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

TEST(OrderedWriterPool, EveryJobIsWrittenAndOneNameKeepsItsOrderWhateverItsCase) {
  std::mutex lock;
  std::vector<std::wstring> written;  // target and content, as written
  {
    OrderedWriterPool pool(
        [&](const OrderedWriter::Job& job) {
          std::lock_guard<std::mutex> hold(lock);
          written.push_back(job.target + L"=" + std::wstring(job.data.begin(), job.data.end()));
          return true;
        },
        3, 1 << 20);
    for (int i = 0; i < 3000; ++i) {
      // Every tenth job rewrites one shared file under changing case.
      std::wstring target = i % 10 == 0 ? (i % 20 == 0 ? L"Shared.TXT" : L"shared.txt")
                                        : L"f" + std::to_wstring(i);
      std::string text = std::to_string(i);
      ASSERT_TRUE(pool.Queue({target, std::vector<char>(text.begin(), text.end())}));
    }
    ASSERT_TRUE(pool.Finish());
  }
  ASSERT_EQ(written.size(), 3000u);
  std::vector<int> shared;
  for (const std::wstring& w : written) {
    size_t eq = w.find(L'=');
    if (w.compare(0, eq, L"Shared.TXT") == 0 || w.compare(0, eq, L"shared.txt") == 0) {
      shared.push_back(std::stoi(w.substr(eq + 1)));
    }
  }
  ASSERT_EQ(shared.size(), 300u);
  EXPECT_TRUE(std::is_sorted(shared.begin(), shared.end()));
}

TEST(OrderedWriterPool, EverySpellingOfOneFileGoesToTheSameWriter) {
  NameFold fold = WideTestFold;
  std::mutex lock;
  std::map<std::wstring, std::string> disk;  // file as the file system knows it -> content
  {
    // A file's first write is slow: had its second spelling gone to another
    // writer, that one would land first and the older content would stay.
    OrderedWriterPool pool(
        [&](const OrderedWriter::Job& job) {
          std::string text(job.data.begin(), job.data.end());
          if (text == "old") std::this_thread::sleep_for(std::chrono::milliseconds(10));
          std::lock_guard<std::mutex> hold(lock);
          disk[ComparableName(job.target, fold)] = text;
          return true;
        },
        2, 1 << 20, fold);
    for (int i = 0; i < 16; ++i) {
      std::wstring n = std::to_wstring(i);
      std::wstring first = L"C:\\c\\Data" + n + L"\\\u00c4\u03a3" + n + L".txt";
      std::wstring second = i % 2 ? L"c:/c/./data" + n + L"//\u00e4\u03c3" + n + L".TXT"
                                  : L"C:\\c\\DATA" + n + L"\\\u00e4\u03a3" + n + L".txt.";
      ASSERT_TRUE(pool.Queue({first, {'o', 'l', 'd'}}));
      ASSERT_TRUE(pool.Queue({second, {'n', 'e', 'w'}}));
    }
    ASSERT_TRUE(pool.Finish());
  }
  ASSERT_EQ(disk.size(), 16u);
  for (const auto& [name, text] : disk) EXPECT_EQ(text, "new") << std::string(name.begin(), name.end());
}

TEST(OrderedWriterPool, WhatCameBeforeAFailureIsWrittenAndTheRestIsRefused) {
  for (int round = 0; round < 20; ++round) {
    Disk disk;
    disk.failOn = L"f100";
    OrderedWriterPool pool([&](const OrderedWriter::Job& j) { return disk.Write(j); }, 2, 1 << 20);
    int queued = 0;
    for (int i = 0; i < 100000 && pool.Queue(MakeJob(i)); ++i) ++queued;
    EXPECT_FALSE(pool.Finish());
    EXPECT_FALSE(pool.Queue(MakeJob(5)));
    EXPECT_EQ(pool.FailedTarget(), L"f100");
    EXPECT_LT(queued, 100000);
    int before = 0;
    for (const std::wstring& target : disk.written) before += std::stoi(target.substr(1)) < 100;
    EXPECT_EQ(before, 100) << "round " << round;
  }
}

}  // namespace tov
