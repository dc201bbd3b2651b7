// One background HTTP request: what the caller asks for, what is known of
// the answer, and the request that runs it on two short-lived threads.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <string>

#include "base/unique_handle.h"
#include "telemetry/internet_handle.h"
#include "telemetry/request_book.h"

// The system's user-agent text, empty when the system has none to give.
std::wstring DefaultUserAgent();

struct RequestSpec {
  std::string requestBody;  // sent only when not empty
  int verbCode = 0;         // 0 GET, 1 and 2 POST, 3 DELETE, others GET
  std::wstring requestUrl;
  int rangeStart = 0;  // not 0: asks for the bytes from here on
  std::wstring userAgent = DefaultUserAgent();
  std::wstring extraHeaders;
  DWORD openFlags = tov::kDefaultOpenFlags;
  int timeoutMs = 0;  // limit of the whole request; 0 = none
  std::wstring proxyHost;  // empty: the system's configured access
  int proxyPort = 80;
  std::wstring proxyUser;
  std::wstring proxyPassword;
};

struct ResponseInfo {
  int statusCode = 0;
  int contentLength = 0;
  std::wstring lastModified;
  std::wstring serverName;
  // Set when the transfer ends: true when reading reached the end of the
  // data, false when a read failed or the answer outgrew kMaxResponseBytes.
  bool readSucceeded = false;
};

namespace inner {

class FCAutoCSec {
 public:
  FCAutoCSec() { ::InitializeCriticalSection(&m_cs); }
  virtual ~FCAutoCSec() { ::DeleteCriticalSection(&m_cs); }
  FCAutoCSec(const FCAutoCSec&) = delete;
  FCAutoCSec& operator=(const FCAutoCSec&) = delete;

  class Hold {
   public:
    explicit Hold(FCAutoCSec& owner) : m_owner(owner) { ::EnterCriticalSection(&m_owner.m_cs); }
    ~Hold() { ::LeaveCriticalSection(&m_owner.m_cs); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    FCAutoCSec& m_owner;
  };

 private:
  CRITICAL_SECTION m_cs;
};

// The response body while it arrives. Readers on other threads take a copy
// under the lock; the running count can be read at any time without it.
class CReceiveBuffer : public FCAutoCSec {
 public:
  void Append(const char* data, DWORD count);
  std::string Copy();
  LONG ReceivedCount() const;

 private:
  std::string m_strData;
  mutable volatile LONG m_lReceived = 0;
};

}  // namespace inner

// Created by the manager on its own thread; the construction opens the
// internet handle and starts the connect thread.
class FCHttpRequest {
 public:
  FCHttpRequest(int id, HWND notifyWindow, const RequestSpec& params);
  virtual ~FCHttpRequest();
  FCHttpRequest(const FCHttpRequest&) = delete;
  FCHttpRequest& operator=(const FCHttpRequest&) = delete;

  int GetId() const { return m_nId; }
  const RequestSpec& GetParams() const { return m_params; }
  const ResponseInfo& GetResponseInfo() const { return m_response; }
  inner::CReceiveBuffer& GetReceiveBuffer() { return m_buffer; }
  int GetScheme() const { return m_target.scheme; }
  const std::wstring& GetHost() const { return m_target.host; }
  INTERNET_PORT GetPort() const { return m_target.port; }
  const std::wstring& GetObjectName() const { return m_target.objectName; }

  // The steps the manager's thread runs on the events of the request.
  void OpenAndSend();        // connected
  void ReadResponseInfo();   // response started

  // Makes the pending blocking call fail by closing the handle it waits on;
  // returns the thread that will then end, or null when none runs.
  HANDLE AbortBlockingCall();
  bool ThreadsEnded() const;

 private:
  static DWORD WINAPI ConnectThread(void* param) noexcept;
  static DWORD WINAPI TransferThread(void* param) noexcept;

  int m_nId;
  HWND m_hNotifyWnd;
  RequestSpec m_params;
  tov::RequestTarget m_target;
  ResponseInfo m_response;
  inner::CReceiveBuffer m_buffer;
  tov::UniqueInternet m_hInternet;
  tov::UniqueInternet m_hConnect;
  tov::UniqueInternet m_hRequest;
  tov::UniqueHandleK m_hConnectThread;
  tov::UniqueHandleK m_hTransferThread;
  // What each thread works on, fixed before it starts: the owning handles
  // above may be closed from the manager's thread while it runs.
  HINTERNET m_hInternetForConnect = nullptr;
  HINTERNET m_hRequestForTransfer = nullptr;
  std::wstring m_strHeaders;
};
