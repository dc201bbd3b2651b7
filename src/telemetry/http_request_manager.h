// Sends HTTP requests in the background. Request threads report back
// through a hidden message-only window of the thread that created the
// manager; that thread must run a message loop for requests to progress.
#pragma once
#include <windows.h>

#include <deque>
#include <memory>
#include <mutex>
#include <utility>

#include "telemetry/http_request.h"
#include "telemetry/request_book.h"

class FCHttpRequestManager {
 public:
  FCHttpRequestManager();
  // Runs Shutdown; on the manager's thread like everything below but
  // SubmitRequest.
  virtual ~FCHttpRequestManager();
  FCHttpRequestManager(const FCHttpRequestManager&) = delete;
  FCHttpRequestManager& operator=(const FCHttpRequestManager&) = delete;

  // Any thread. Returns the new request's id at once; a request submitted
  // from another thread starts when the manager's thread next handles its
  // messages. After Shutdown a submission is dropped.
  int SubmitRequest(const RequestSpec& params);

  void RetireRequest(int id);
  FCHttpRequest* FindRequest(int id) const;
  bool ReapRetiredRequests();

  // The end of the run, on the manager's thread: starts what other threads
  // handed over, lets every request go on within the one shutdown wait,
  // then closes the window and the handles of what still runs. Requests
  // whose threads have ended are destroyed; the others are left to the
  // process's end, never ended by force. Later submissions are dropped.
  // For owners that are never destroyed.
  void Shutdown();

  HWND GetNotifyWindow() const { return m_hNotifyWnd; }
  size_t ActiveCount() const { return m_book.ActiveCount(); }
  size_t RetiredCount() const { return m_book.RetiredCount(); }

 protected:
  virtual void OnResponseStarted(FCHttpRequest& request);
  virtual void OnRequestFinished(FCHttpRequest& request);
  virtual void OnRequestTimedOut(FCHttpRequest& request);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnRequestEvent(int id, LPARAM event);
  void OnTimer(UINT_PTR timerId);
  void StartRequest(int id, const RequestSpec& params);
  void StartHandedOver();
  void DeliverUntil(ULONGLONG deadline);

  tov::RequestBook<FCHttpRequest> m_book;
  HWND m_hNotifyWnd = nullptr;
  DWORD m_dwShutdownWaitMs = tov::kShutdownWaitMs;
  DWORD m_dwOwnerThread;
  bool m_bClosed = false;  // owner thread only
  // Submissions from other threads, waiting for the owner thread.
  std::mutex m_handOverLock;
  std::deque<std::pair<int, RequestSpec>> m_handOver;
  bool m_bHandOverClosed = false;
};
