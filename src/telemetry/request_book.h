// The request manager's bookkeeping and choices, apart from WinInet and the
// window that drive them: identifiers, the active and retired lists, verbs,
// headers, flags and where a URL says to connect.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace tov {

// Window message from request threads: wParam = request id, lParam = event.
inline constexpr unsigned kRequestEventMessage = 0x8030;
// Window message telling the manager's thread that submissions from other
// threads wait to be started.
inline constexpr unsigned kRequestHandOverMessage = 0x8031;
inline constexpr int kEventConnected = 0;
inline constexpr int kEventResponseStarted = 1;
inline constexpr int kEventFinished = 2;
// Housekeeping timer; request timers use the request id, which starts above.
inline constexpr unsigned kReapTimerId = 30;
inline constexpr int kFirstRequestId = 100;
inline constexpr unsigned kReadChunkBytes = 8192;
// The most answer bytes a request keeps. Reading stops past it and the
// request ends as a failed read: the reports' answers are a few bytes, and
// a server that sends without end must not fill the memory.
inline constexpr unsigned kMaxResponseBytes = 64 * 1024;
inline constexpr unsigned kShutdownWaitMs = 3000;

// Scheme numbers as WinInet's URL parser reports them.
inline constexpr int kSchemeUnknown = -1;
inline constexpr int kSchemeHttp = 3;
inline constexpr int kSchemeHttps = 4;
inline constexpr uint32_t kSecureFlag = 0x00800000;
inline constexpr uint32_t kDefaultOpenFlags = 0x84000000;  // reload, no cache write

const wchar_t* VerbText(int verbCode);
// The caller's header lines, then "Range: bytes=N-\r\n" when rangeStart is not 0.
std::wstring ComposeRequestHeaders(const std::wstring& extraHeaders, int rangeStart);
uint32_t EffectiveOpenFlags(uint32_t openFlags, int scheme);

struct RequestTarget {
  int scheme = kSchemeUnknown;
  std::wstring host;
  uint16_t port = 0;
  std::wstring objectName;  // path and query, as written
};
// Splits an absolute http or https URL. A port written in the URL is the
// port to connect to; without one the scheme's own (80, 443). A URL that
// cannot be split gives an empty host, on which the connection fails.
RequestTarget ParseRequestUrl(const std::wstring& url);

// The number its leading decimal digits spell; 0 when there are none.
int LeadingDecimal(const std::wstring& text);

// The two request lists and the id counter. Ids may be taken on any thread;
// everything else belongs to the manager's thread.
template <typename Request>
class RequestBook {
 public:
  int TakeId() { return m_nextId.fetch_add(1); }

  void AddActive(std::unique_ptr<Request> request) { m_active.push_back(std::move(request)); }

  Request* FindActive(int id) const {
    for (const auto& r : m_active)
      if (r->GetId() == id) return r.get();
    return nullptr;
  }

  // Moves the request from the active list to the end of the retired one;
  // returns it, or null when no active request has that id.
  Request* Retire(int id) {
    auto it = std::find_if(m_active.begin(), m_active.end(),
                           [id](const std::unique_ptr<Request>& r) { return r->GetId() == id; });
    if (it == m_active.end()) return nullptr;
    m_retired.push_back(std::move(*it));
    m_active.erase(it);
    return m_retired.back().get();
  }

  // Destroys the first retired request for which `ended` holds; true when
  // one went.
  template <typename Ended>
  bool ReapOne(Ended ended) {
    for (auto it = m_retired.begin(); it != m_retired.end(); ++it) {
      if (ended(**it)) {
        m_retired.erase(it);
        return true;
      }
    }
    return false;
  }

  template <typename Visit>
  void ForEach(Visit visit) const {
    for (const auto& r : m_active) visit(*r);
    for (const auto& r : m_retired) visit(*r);
  }

  // Active requests go first, in submission order, then the retired ones.
  void Clear() {
    while (!m_active.empty()) m_active.pop_front();
    while (!m_retired.empty()) m_retired.pop_front();
  }

  // Empties both lists like Clear, except that a request for which `ended`
  // does not hold is let go instead of destroyed: a thread still working on
  // it keeps it alive until the process ends. Returns how many were let go.
  template <typename Ended>
  size_t ClearLeavingRunning(Ended ended) {
    size_t left = 0;
    for (auto* list : {&m_active, &m_retired}) {
      while (!list->empty()) {
        std::unique_ptr<Request> request = std::move(list->front());
        list->pop_front();
        if (!ended(*request)) {
          request.release();
          ++left;
        }
      }
    }
    return left;
  }

  bool Empty() const { return m_active.empty() && m_retired.empty(); }
  size_t ActiveCount() const { return m_active.size(); }
  size_t RetiredCount() const { return m_retired.size(); }

 private:
  std::deque<std::unique_ptr<Request>> m_active;
  std::deque<std::unique_ptr<Request>> m_retired;
  std::atomic<int> m_nextId{kFirstRequestId};
};

}  // namespace tov
