#include "telemetry/http_request_manager.h"

#include <algorithm>
#include <vector>

namespace {
constexpr wchar_t kWindowClass[] = L"dedurer_http_event_wnd";
}

FCHttpRequestManager::FCHttpRequestManager() : m_dwOwnerThread(::GetCurrentThreadId()) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = kWindowClass;
  // A second manager finds the class registered already, which is fine.
  ::RegisterClassExW(&wc);
  m_hNotifyWnd = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   wc.hInstance, nullptr);
  // The pointer needs all 64 bits: the 32-bit SetWindowLongW would cut it.
  ::SetWindowLongPtrW(m_hNotifyWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

FCHttpRequestManager::~FCHttpRequestManager() { Shutdown(); }

void FCHttpRequestManager::OnResponseStarted(FCHttpRequest&) {}
void FCHttpRequestManager::OnRequestFinished(FCHttpRequest&) {}
void FCHttpRequestManager::OnRequestTimedOut(FCHttpRequest&) {}

int FCHttpRequestManager::SubmitRequest(const RequestSpec& params) {
  const int id = m_book.TakeId();
  if (::GetCurrentThreadId() == m_dwOwnerThread) {
    if (!m_bClosed) StartRequest(id, params);
    return id;
  }
  // The lists and timers belong to the owner thread: the request waits
  // for it there, and the caller goes on without waiting for anybody.
  {
    std::lock_guard<std::mutex> hold(m_handOverLock);
    if (m_bHandOverClosed) return id;
    m_handOver.emplace_back(id, params);
  }
  ::PostMessageW(m_hNotifyWnd, tov::kRequestHandOverMessage, 0, 0);
  return id;
}

void FCHttpRequestManager::StartRequest(int id, const RequestSpec& params) {
  ::SetTimer(m_hNotifyWnd, tov::kReapTimerId, 100, nullptr);
  m_book.AddActive(std::make_unique<FCHttpRequest>(id, m_hNotifyWnd, params));
}

void FCHttpRequestManager::StartHandedOver() {
  for (;;) {
    std::pair<int, RequestSpec> next;
    {
      std::lock_guard<std::mutex> hold(m_handOverLock);
      if (m_handOver.empty()) return;
      next = std::move(m_handOver.front());
      m_handOver.pop_front();
    }
    if (!m_bClosed) StartRequest(next.first, next.second);
  }
}

void FCHttpRequestManager::RetireRequest(int id) {
  if (FCHttpRequest* request = m_book.FindActive(id)) {
    request->AbortBlockingCall();
    m_book.Retire(id);
  }
}

FCHttpRequest* FCHttpRequestManager::FindRequest(int id) const { return m_book.FindActive(id); }

bool FCHttpRequestManager::ReapRetiredRequests() {
  return m_book.ReapOne([](const FCHttpRequest& r) { return r.ThreadsEnded(); });
}

LRESULT CALLBACK FCHttpRequestManager::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                  LPARAM lParam) noexcept {
  auto* manager = reinterpret_cast<FCHttpRequestManager*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!manager) return ::DefWindowProcW(window, message, wParam, lParam);
  try {
    return manager->HandleMessage(window, message, wParam, lParam);
  } catch (...) {
    return 0;  // a report that cannot be handled is dropped, like any other
  }
}

LRESULT FCHttpRequestManager::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case tov::kRequestEventMessage:
      OnRequestEvent(static_cast<int>(wParam), lParam);
      return 0;
    case tov::kRequestHandOverMessage:
      StartHandedOver();
      return 0;
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

void FCHttpRequestManager::OnRequestEvent(int id, LPARAM event) {
  FCHttpRequest* request = m_book.FindActive(id);
  // A retired request's late news goes nowhere.
  if (!request) return;
  switch (event) {
    case tov::kEventConnected:
      request->OpenAndSend();
      break;
    case tov::kEventResponseStarted:
      request->ReadResponseInfo();
      OnResponseStarted(*request);
      break;
    case tov::kEventFinished:
      OnRequestFinished(*request);
      RetireRequest(id);
      break;
    default:
      break;
  }
}

void FCHttpRequestManager::OnTimer(UINT_PTR timerId) {
  if (timerId == tov::kReapTimerId) {
    if (m_book.Empty()) {
      ::KillTimer(m_hNotifyWnd, tov::kReapTimerId);
      return;
    }
    while (ReapRetiredRequests()) {
    }
    return;
  }
  ::KillTimer(m_hNotifyWnd, timerId);
  const int id = static_cast<int>(timerId);
  if (FCHttpRequest* request = m_book.FindActive(id)) {
    OnRequestTimedOut(*request);
    RetireRequest(id);
  }
}

void FCHttpRequestManager::Shutdown() {
  if (m_bClosed) return;
  const ULONGLONG deadline = ::GetTickCount64() + m_dwShutdownWaitMs;
  {
    std::lock_guard<std::mutex> hold(m_handOverLock);
    m_bHandOverClosed = true;
  }
  if (::GetCurrentThreadId() == m_dwOwnerThread) {
    // What the worker handed over last (a game start's reports) and what
    // this thread submitted with no message loop left to run it (an
    // uninstall's) matter most to an operator: they go out now.
    StartHandedOver();
    m_bClosed = true;
    DeliverUntil(deadline);
  } else {
    m_bClosed = true;
    std::lock_guard<std::mutex> hold(m_handOverLock);
    m_handOver.clear();
  }
  // Late notifications from request threads now go nowhere.
  ::SetWindowLongPtrW(m_hNotifyWnd, GWLP_USERDATA, 0);
  ::DestroyWindow(m_hNotifyWnd);

  std::vector<HANDLE> running;
  m_book.ForEach([&running](FCHttpRequest& request) {
    HANDLE thread = request.AbortBlockingCall();
    if (thread && std::find(running.begin(), running.end(), thread) == running.end()) {
      running.push_back(thread);
    }
  });
  // What is left of the one deadline, however many threads there are (a
  // single wait takes at most 64 handles).
  for (HANDLE thread : running) {
    ULONGLONG now = ::GetTickCount64();
    ::WaitForSingleObject(thread, now < deadline ? static_cast<DWORD>(deadline - now) : 0);
  }
  // A thread ended by force inside WinInet or the heap could leave a lock
  // held, and then the process would never end and keep the single-instance
  // mutex. A request whose thread still runs is let go instead, for the
  // thread to work on until the process ends.
  m_book.ClearLeavingRunning([](const FCHttpRequest& r) { return r.ThreadsEnded(); });
}

void FCHttpRequestManager::DeliverUntil(ULONGLONG deadline) {
  // Only the manager's own window is served: the rest of this thread's
  // windows are gone or going, and a quit request stays queued.
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, m_hNotifyWnd, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    if (m_book.ActiveCount() == 0) return;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20)),
                                QS_ALLINPUT);
  }
}
