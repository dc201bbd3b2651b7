#include "telemetry/request_book.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace tov {
namespace {

void ExpectTarget(const wchar_t* url, int scheme, const wchar_t* host, int port, const wchar_t* object) {
  RequestTarget t = ParseRequestUrl(url);
  EXPECT_EQ(t.scheme, scheme) << url;
  EXPECT_EQ(t.host, host) << url;
  EXPECT_EQ(t.port, port) << url;
  EXPECT_EQ(t.objectName, object) << url;
}

TEST(RequestUrl, ThePortWrittenInTheUrlIsTheOneConnectedTo) {
  ExpectTarget(L"http://127.0.0.1:18080/api/report_event.php?client_uid=a&os_version=x%2Fy", kSchemeHttp,
               L"127.0.0.1", 18080, L"/api/report_event.php?client_uid=a&os_version=x%2Fy");
  ExpectTarget(L"https://reports.example:8443/api/report_error.php", kSchemeHttps, L"reports.example", 8443,
               L"/api/report_error.php");
  ExpectTarget(L"http://127.0.0.1:/p", kSchemeHttp, L"127.0.0.1", 80, L"/p");
  ExpectTarget(L"http://[::1]:8080/p?q", kSchemeHttp, L"::1", 8080, L"/p?q");
}

TEST(RequestUrl, WithoutAPortTheSchemeDecides) {
  ExpectTarget(L"http://127.0.0.1/api/report_event.php", kSchemeHttp, L"127.0.0.1", 80, L"/api/report_event.php");
  ExpectTarget(L"HTTPS://Host.Example/a", kSchemeHttps, L"Host.Example", 443, L"/a");
  ExpectTarget(L"http://127.0.0.1", kSchemeHttp, L"127.0.0.1", 80, L"/");
  ExpectTarget(L"http://127.0.0.1?x=1", kSchemeHttp, L"127.0.0.1", 80, L"/?x=1");
  // Colons and at-signs in the query belong to the query.
  ExpectTarget(L"http://h/p?mac=a:b@c:99", kSchemeHttp, L"h", 80, L"/p?mac=a:b@c:99");
  ExpectTarget(L"http://user:pw@h:81/p", kSchemeHttp, L"h", 81, L"/p");
}

TEST(RequestUrl, UnusableUrlsGiveNoHost) {
  for (const wchar_t* url : {L"ftp://h/p", L"127.0.0.1:28080/p", L"http://:80/p", L"http:///p", L"http://h:0/p",
                             L"http://h:65536/p", L"http://h:8a/p", L"http://h:123456/p", L"http://[::1/p", L""}) {
    RequestTarget t = ParseRequestUrl(url);
    EXPECT_TRUE(t.host.empty()) << url;
  }
}

// Stands in for a request: records its destruction, says when its threads end.
struct FakeRequest {
  FakeRequest(int id, std::vector<int>* destroyed) : id(id), destroyed(destroyed) {}
  ~FakeRequest() { destroyed->push_back(id); }
  int GetId() const { return id; }
  int id;
  bool threadsEnded = false;
  std::vector<int>* destroyed;
};

struct Book : ::testing::Test {
  std::vector<int> destroyed;
  RequestBook<FakeRequest> book;
  FakeRequest* Add() {
    int id = book.TakeId();
    auto r = std::make_unique<FakeRequest>(id, &destroyed);
    FakeRequest* raw = r.get();
    book.AddActive(std::move(r));
    return raw;
  }
  static bool Ended(const FakeRequest& r) { return r.threadsEnded; }
};

TEST_F(Book, IdsStartAtOneHundredAndAreNeverReused) {
  EXPECT_EQ(Add()->id, 100);
  EXPECT_EQ(Add()->id, 101);
  book.Retire(100);
  book.ReapOne([](const FakeRequest&) { return true; });
  EXPECT_EQ(Add()->id, 102);
}

TEST_F(Book, IdsTakenOnManyThreadsAreDistinct) {
  std::vector<std::vector<int>> taken(4);
  std::vector<std::thread> threads;
  for (auto& mine : taken) {
    threads.emplace_back([this, &mine] {
      for (int i = 0; i < 2000; ++i) mine.push_back(book.TakeId());
    });
  }
  for (auto& t : threads) t.join();
  std::set<int> all;
  for (auto& mine : taken) all.insert(mine.begin(), mine.end());
  EXPECT_EQ(all.size(), 8000u);
  EXPECT_EQ(*all.begin(), 100);
  EXPECT_EQ(*all.rbegin(), 8099);
}

TEST_F(Book, RetiredRequestsAreNoLongerFound) {
  FakeRequest* a = Add();
  FakeRequest* b = Add();
  EXPECT_EQ(book.FindActive(101), b);
  EXPECT_EQ(book.Retire(100), a);
  EXPECT_EQ(book.FindActive(100), nullptr);
  EXPECT_EQ(book.FindActive(101), b);
  // Retiring twice, or an id never given, changes nothing.
  EXPECT_EQ(book.Retire(100), nullptr);
  EXPECT_EQ(book.Retire(555), nullptr);
  EXPECT_EQ(book.ActiveCount(), 1u);
  EXPECT_EQ(book.RetiredCount(), 1u);
  EXPECT_TRUE(destroyed.empty());
}

TEST_F(Book, ReapingDestroysOnlyRetiredRequestsWhoseThreadsEnded) {
  FakeRequest* a = Add();
  FakeRequest* b = Add();
  FakeRequest* c = Add();
  FakeRequest* d = Add();
  d->threadsEnded = true;  // still active: never reaped
  for (FakeRequest* r : {a, b, c}) book.Retire(r->id);
  c->threadsEnded = true;
  EXPECT_TRUE(book.ReapOne(Ended));
  EXPECT_EQ(destroyed, std::vector<int>{102});
  EXPECT_FALSE(book.ReapOne(Ended));
  a->threadsEnded = true;
  b->threadsEnded = true;
  // One per call, from the front.
  EXPECT_TRUE(book.ReapOne(Ended));
  EXPECT_EQ(destroyed, (std::vector<int>{102, 100}));
  while (book.ReapOne(Ended)) {
  }
  EXPECT_EQ(destroyed, (std::vector<int>{102, 100, 101}));
  EXPECT_FALSE(book.Empty());
  EXPECT_EQ(book.FindActive(103), d);
}

TEST_F(Book, ClearingDestroysActiveThenRetiredInOrder) {
  for (int i = 0; i < 4; ++i) Add();
  book.Retire(101);
  book.Retire(100);
  book.Clear();
  EXPECT_EQ(destroyed, (std::vector<int>{102, 103, 101, 100}));
  EXPECT_TRUE(book.Empty());

  // At the end of a run, requests whose threads still run are let go, not
  // destroyed under those threads.
  destroyed.clear();
  FakeRequest* running[] = {Add(), Add()};
  for (int i = 0; i < 2; ++i) Add()->threadsEnded = true;
  book.Retire(running[1]->id);
  book.Retire(106);
  EXPECT_EQ(book.ClearLeavingRunning(Ended), 2u);
  EXPECT_EQ(destroyed, (std::vector<int>{107, 106}));
  EXPECT_TRUE(book.Empty());
  for (FakeRequest* r : running) delete r;
  EXPECT_EQ(destroyed, (std::vector<int>{107, 106, 104, 105}));
}

}  // namespace
}  // namespace tov
