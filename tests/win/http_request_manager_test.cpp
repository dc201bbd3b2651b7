// The request manager against a server on 127.0.0.1: what goes on the wire,
// the notifications, timers, reaping and the bounded shutdown.
#include "telemetry/http_request_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include <tlhelp32.h>

#include "base/unique_handle.h"
#include "loopback_http_server.h"
#include "test_support.h"

namespace {

using testing_support::LoopbackHttpServer;
using testing_support::PumpUntil;
using testing_support::Reply;
using testing_support::WaitFor;

struct Seen {
  int started = 0;
  int finished = 0;
  int timedOut = 0;
  ResponseInfo info;
  std::string body;
  LONG received = 0;
  DWORD openFlags = 0;
  DWORD thread = 0;
};

// Records what each notification saw, per request id.
class RecordingManager : public FCHttpRequestManager {
 public:
  std::map<int, Seen> seen;
  std::set<DWORD> notifiedOn;

 protected:
  void OnResponseStarted(FCHttpRequest& r) override {
    Seen& s = seen[r.GetId()];
    ++s.started;
    s.info = r.GetResponseInfo();
    notifiedOn.insert(::GetCurrentThreadId());
  }
  void OnRequestFinished(FCHttpRequest& r) override {
    Seen& s = seen[r.GetId()];
    ++s.finished;
    s.info.readSucceeded = r.GetResponseInfo().readSucceeded;
    s.body = r.GetReceiveBuffer().Copy();
    s.received = r.GetReceiveBuffer().ReceivedCount();
    s.openFlags = r.GetParams().openFlags;
    notifiedOn.insert(::GetCurrentThreadId());
  }
  void OnRequestTimedOut(FCHttpRequest& r) override {
    ++seen[r.GetId()].timedOut;
    notifiedOn.insert(::GetCurrentThreadId());
  }
};

bool AllFinished(const RecordingManager& manager) {
  for (const auto& [id, s] : manager.seen)
    if (!s.finished) return false;
  return true;
}

RequestSpec Get(const std::wstring& url) {
  RequestSpec params;
  params.requestUrl = url;
  return params;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(RequestManager, IdsVerbsHeadersAndTheUrlsPortGoOnTheWire) {
  LoopbackHttpServer server;
  Reply reply;
  reply.status = 206;
  reply.headers = "Last-Modified: Wed, 21 Oct 2015 07:28:00 GMT\r\nServer: loopback-test\r\n";
  reply.body = std::string(20000, 'x') + "end";  // more than two read chunks
  server.SetReply(reply);
  RecordingManager manager;

  RequestSpec ranged = Get(server.WideUrl("/file?part=2&x=%2F"));
  ranged.extraHeaders = L"X-Probe: first\r\n";
  ranged.rangeStart = 1024;
  EXPECT_EQ(manager.SubmitRequest(ranged), 100);
  int next = 101;
  for (int verb : {1, 2, 3, 4}) {
    RequestSpec params = Get(server.WideUrl("/verb" + std::to_string(verb)));
    params.verbCode = verb;
    if (verb == 1) params.requestBody = "payload=1";
    EXPECT_EQ(manager.SubmitRequest(params), next++);
  }
  ASSERT_TRUE(PumpUntil([&] { return manager.seen.size() == 5 && manager.seen[104].finished; }, 15000));
  ASSERT_TRUE(PumpUntil([&] { return AllFinished(manager); }, 15000));

  std::map<std::string, std::string> byPath;
  for (const std::string& r : server.Requests()) {
    size_t sp = r.find(' ');
    byPath[r.substr(sp + 1, r.find(' ', sp + 1) - sp - 1)] = r;
  }
  ASSERT_EQ(byPath.size(), 5u);
  const std::string& first = byPath["/file?part=2&x=%2F"];
  EXPECT_EQ(first.rfind("GET /file?part=2&x=%2F HTTP/1.1\r\n", 0), 0u) << first;
  // The range line follows the caller's own header lines.
  EXPECT_TRUE(Contains(first, "X-Probe: first\r\nRange: bytes=1024-\r\n")) << first;
  EXPECT_TRUE(Contains(first, "Host: 127.0.0.1:" + std::to_string(server.Port()))) << first;
  EXPECT_EQ(byPath["/verb1"].rfind("POST /verb1 ", 0), 0u);
  EXPECT_EQ(byPath["/verb1"].substr(byPath["/verb1"].size() - 9), "payload=1");
  EXPECT_EQ(byPath["/verb2"].rfind("POST /verb2 ", 0), 0u);
  EXPECT_EQ(byPath["/verb3"].rfind("DELETE /verb3 ", 0), 0u);
  EXPECT_EQ(byPath["/verb4"].rfind("GET /verb4 ", 0), 0u);
  for (auto& [path, r] : byPath) EXPECT_EQ(Contains(r, "Range:"), path == "/file?part=2&x=%2F") << path;

  const Seen& s = manager.seen[100];
  EXPECT_EQ(s.started, 1);
  EXPECT_EQ(s.finished, 1);
  EXPECT_EQ(s.info.statusCode, 206);
  EXPECT_EQ(s.info.contentLength, static_cast<int>(reply.body.size()));
  EXPECT_EQ(s.info.lastModified, L"Wed, 21 Oct 2015 07:28:00 GMT");
  EXPECT_EQ(s.info.serverName, L"loopback-test");
  EXPECT_TRUE(s.info.readSucceeded);
  EXPECT_EQ(s.body, reply.body);
  EXPECT_EQ(s.received, static_cast<LONG>(reply.body.size()));
  EXPECT_EQ(s.openFlags, 0x84000000u);
  EXPECT_EQ(manager.notifiedOn, std::set<DWORD>{::GetCurrentThreadId()});
}

TEST(RequestManager, HttpsAddsTheSecureFlagAndKeepsTheUrlsPort) {
  LoopbackHttpServer server;  // plain HTTP: the TLS hello arrives and fails
  RecordingManager manager;
  int id = manager.SubmitRequest(Get(L"https://127.0.0.1:" + std::to_wstring(server.Port()) + L"/secure"));
  ASSERT_TRUE(PumpUntil([&] { return manager.seen[id].finished == 1; }, 15000));
  const Seen& s = manager.seen[id];
  EXPECT_EQ(s.openFlags, 0x84800000u);
  EXPECT_EQ(s.info.statusCode, 0);
  EXPECT_FALSE(s.info.readSucceeded);
  // The TLS layer may try more than once; every attempt is a hello on the
  // port written in the URL.
  ASSERT_FALSE(server.Requests().empty());
  for (const std::string& r : server.Requests()) EXPECT_EQ(r.substr(0, 1), "\x16");
}

TEST(RequestManager, AnAnswerBeyondTheCapIsAFailedReadAndIsNotKept) {
  LoopbackHttpServer server;
  RecordingManager manager;
  for (size_t size : {size_t{tov::kMaxResponseBytes}, size_t{tov::kMaxResponseBytes} + 1, size_t{8} << 20}) {
    Reply reply;
    reply.body = std::string(size, 'a');
    server.SetReply(reply);
    int id = manager.SubmitRequest(Get(server.WideUrl("/answer")));
    ASSERT_TRUE(PumpUntil([&] { return manager.seen[id].finished == 1; }, 30000)) << size;
    const Seen& s = manager.seen[id];
    EXPECT_EQ(s.info.readSucceeded, size <= tov::kMaxResponseBytes) << size;
    EXPECT_LE(s.body.size(), size_t{tov::kMaxResponseBytes}) << size;
    EXPECT_EQ(s.received, static_cast<LONG>(s.body.size())) << size;
  }
}

TEST(RequestManager, AFailedConnectionStillPassesEveryEventAndIsReaped) {
  RecordingManager manager;
  const int port = testing_support::UnusedLoopbackPort();
  int id = manager.SubmitRequest(Get(L"http://127.0.0.1:" + std::to_wstring(port) + L"/nothing"));
  ASSERT_TRUE(PumpUntil([&] { return manager.ActiveCount() == 0 && manager.RetiredCount() == 0; }, 15000));
  EXPECT_EQ(manager.seen[id].started, 1);
  EXPECT_EQ(manager.seen[id].finished, 1);
  EXPECT_EQ(manager.seen[id].info.statusCode, 0);
  EXPECT_FALSE(manager.seen[id].info.readSucceeded);
}

TEST(RequestManager, ARequestTimerRetiresItAndItsLateNewsIsDropped) {
  LoopbackHttpServer server;
  server.SetReply(testing_support::kHoldEveryRequest);
  RecordingManager manager;
  RequestSpec params = Get(server.WideUrl("/slow"));
  params.timeoutMs = 300;
  const int slow = manager.SubmitRequest(params);
  const int plain = manager.SubmitRequest(Get(server.WideUrl("/no-timer")));
  ASSERT_TRUE(PumpUntil([&] { return manager.seen[slow].timedOut == 1; }, 10000));
  EXPECT_EQ(manager.FindRequest(slow), nullptr);
  EXPECT_NE(manager.FindRequest(plain), nullptr) << "a request without a timer waits on";

  // Whatever the slow request's threads report from now on goes nowhere.
  server.ReleaseHeld();
  ASSERT_TRUE(PumpUntil([&] { return manager.seen[plain].finished == 1; }, 15000));
  ASSERT_TRUE(PumpUntil([&] { return manager.ActiveCount() == 0 && manager.RetiredCount() == 0; }, 15000));
  EXPECT_EQ(manager.seen[slow].timedOut, 1);
  EXPECT_EQ(manager.seen[slow].started, 0);
  EXPECT_EQ(manager.seen[slow].finished, 0);
  EXPECT_EQ(manager.seen[plain].timedOut, 0);
}

TEST(RequestManager, HousekeepingTicksOnlyWhileRequestsExist) {
  LoopbackHttpServer server;
  RecordingManager manager;
  std::vector<ULONGLONG> ticks;
  auto watch = [&](const MSG& m) {
    if (m.hwnd == manager.GetNotifyWindow() && m.message == WM_TIMER && m.wParam == tov::kReapTimerId)
      ticks.push_back(::GetTickCount64());
  };
  manager.SubmitRequest(Get(server.WideUrl("/a")));
  ASSERT_TRUE(PumpUntil([&] { return manager.ActiveCount() == 0 && manager.RetiredCount() == 0; }, 15000, watch));
  ASSERT_FALSE(ticks.empty());
  PumpUntil([] { return false; }, 600, watch);
  const size_t settled = ticks.size();
  PumpUntil([] { return false; }, 600, watch);
  EXPECT_EQ(ticks.size(), settled) << "the timer still ticks with nothing to reap";

  // The next submission starts it again.
  manager.SubmitRequest(Get(server.WideUrl("/b")));
  PumpUntil([] { return false; }, 400, watch);
  EXPECT_GT(ticks.size(), settled);
}

TEST(RequestManager, SubmissionsFromOtherThreadsRunOnTheManagersThread) {
  LoopbackHttpServer server;
  RecordingManager manager;
  std::vector<std::vector<int>> ids(4);
  std::atomic<int> done{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < 25; ++i)
        ids[w].push_back(manager.SubmitRequest(Get(server.WideUrl("/w" + std::to_string(w) + "/" + std::to_string(i)))));
      ++done;
    });
  }
  // The manager's thread keeps handling messages meanwhile, as the
  // launcher's user-interface thread does.
  ASSERT_TRUE(PumpUntil([&] { return done == 4 && manager.seen.size() == 100; }, 60000));
  for (auto& t : workers) t.join();
  ASSERT_TRUE(PumpUntil([&] { return AllFinished(manager); }, 60000));
  std::set<int> all;
  for (auto& v : ids) all.insert(v.begin(), v.end());
  EXPECT_EQ(all.size(), 100u);
  EXPECT_EQ(*all.begin(), 100);
  EXPECT_EQ(*all.rbegin(), 199);
  EXPECT_EQ(server.Requests().size(), 100u);
  EXPECT_EQ(manager.notifiedOn, std::set<DWORD>{::GetCurrentThreadId()});
}

// The ids of this process's threads, from the system's own list.
std::set<DWORD> ThreadIds() {
  tov::UniqueHandleK snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  std::set<DWORD> ids;
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
  }
  return ids;
}

TEST(RequestManager, DestructionWithAServerThatNeverAnswersIsBoundedAndEndsNoThreadByForce) {
  LoopbackHttpServer server;
  server.SetReply(testing_support::kHoldEveryRequest);
  const std::set<DWORD> before = ThreadIds();
  std::set<DWORD> requestThreads;
  ULONGLONG took;
  {
    RecordingManager manager;
    for (int i = 0; i < 3; ++i) manager.SubmitRequest(Get(server.WideUrl("/held")));
    ASSERT_TRUE(PumpUntil([&] { return server.Held() == 3; }, 15000));
    requestThreads = ThreadIds();
    for (DWORD id : before) requestThreads.erase(id);
    for (DWORD id : server.HandlerThreadIds()) requestThreads.erase(id);
    const ULONGLONG start = ::GetTickCount64();
    manager.Shutdown();
    took = ::GetTickCount64() - start;
    EXPECT_EQ(manager.ActiveCount() + manager.RetiredCount(), 0u);
    // Still blocked after the wait, the request threads are left to run:
    // ended by force, one could leave a lock of WinInet or the heap held.
    const std::set<DWORD> after = ThreadIds();
    size_t alive = 0;
    for (DWORD id : requestThreads) alive += after.count(id);
    EXPECT_GE(alive, 3u) << requestThreads.size() << " request threads";
    // Their requests were let go, not freed: they finish without harm.
    server.ReleaseHeld();
    EXPECT_TRUE(WaitFor([&] {
      const std::set<DWORD> now = ThreadIds();
      for (DWORD id : requestThreads)
        if (now.count(id)) return false;
      return true;
    }, 15000));
    // Later submissions are dropped without harm, from any thread.
    manager.SubmitRequest(Get(server.WideUrl("/late")));
    std::thread([&] { manager.SubmitRequest(Get(server.WideUrl("/late"))); }).join();
    PumpUntil([] { return false; }, 300);
  }
  // The wait is 3 s at most; the bound here only has to catch a hang.
  EXPECT_LT(took, 6000u);
  EXPECT_EQ(server.Requests().size(), 3u);
}

TEST(RequestManager, TheEndOfTheRunSendsWhatNoMessageLoopStarted) {
  LoopbackHttpServer server;
  ULONGLONG took;
  {
    RecordingManager manager;
    // From this thread with no message handled afterwards (an uninstall's
    // reports), and handed over by another thread (a game start's).
    manager.SubmitRequest(Get(server.WideUrl("/own")));
    std::thread([&] {
      for (int i = 0; i < 3; ++i) manager.SubmitRequest(Get(server.WideUrl("/handed/" + std::to_string(i))));
    }).join();
    const ULONGLONG start = ::GetTickCount64();
    manager.Shutdown();
    took = ::GetTickCount64() - start;
    EXPECT_EQ(manager.ActiveCount() + manager.RetiredCount(), 0u);
  }
  std::multiset<std::string> paths;
  for (const std::string& request : server.Requests()) paths.insert(request.substr(4, request.find(' ', 4) - 4));
  EXPECT_EQ(paths, (std::multiset<std::string>{"/own", "/handed/0", "/handed/1", "/handed/2"}));
  // A healthy server answers long before the wait is up.
  EXPECT_LT(took, 2500u);
}

}  // namespace
