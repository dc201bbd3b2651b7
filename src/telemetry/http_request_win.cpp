#include "telemetry/http_request.h"

#include <urlmon.h>

#include <vector>

std::wstring DefaultUserAgent() {
  // Asked once: the text does not change while the launcher runs.
  static const std::wstring agent = [] {
    char text[1024] = {};
    DWORD size = sizeof text;
    if (FAILED(::ObtainUserAgentString(0, text, &size))) return std::wstring();
    text[sizeof text - 1] = '\0';
    int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring wide(n, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), n);
    wide.resize(n - 1);
    return wide;
  }();
  return agent;
}

namespace inner {

void CReceiveBuffer::Append(const char* data, DWORD count) {
  ::InterlockedExchangeAdd(&m_lReceived, static_cast<LONG>(count));
  Hold hold(*this);
  m_strData.append(data, count);
}

std::string CReceiveBuffer::Copy() {
  Hold hold(*this);
  return m_strData;
}

LONG CReceiveBuffer::ReceivedCount() const { return ::InterlockedCompareExchange(&m_lReceived, 0, 0); }

}  // namespace inner

namespace {

bool ThreadRunning(const tov::UniqueHandleK& thread) {
  return thread && ::WaitForSingleObject(thread.get(), 0) == WAIT_TIMEOUT;
}

// One response header as text, empty when the response does not carry it.
std::wstring QueryHeader(HINTERNET request, DWORD which) {
  DWORD bytes = 0;
  ::HttpQueryInfoW(request, which, nullptr, &bytes, nullptr);
  if (bytes == 0) return L"";
  std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 2, L'\0');
  DWORD size = bytes;
  if (!::HttpQueryInfoW(request, which, text.data(), &size, nullptr)) return L"";
  return std::wstring(text.data());
}

}  // namespace

FCHttpRequest::FCHttpRequest(int id, HWND notifyWindow, const RequestSpec& spec)
    : m_nId(id), m_hNotifyWnd(notifyWindow), m_spec(spec), m_target(tov::ParseRequestUrl(spec.requestUrl)) {
  if (!m_spec.proxyHost.empty()) {
    std::wstring proxy = m_spec.proxyHost + L":" + std::to_wstring(m_spec.proxyPort);
    m_hInternet.reset(::InternetOpenW(m_spec.userAgent.c_str(), INTERNET_OPEN_TYPE_PROXY, proxy.c_str(),
                                      nullptr, 0));
  } else {
    m_hInternet.reset(::InternetOpenW(m_spec.userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                      nullptr, 0));
  }
  if (!m_spec.proxyUser.empty()) {
    ::InternetSetOptionW(m_hInternet.get(), INTERNET_OPTION_PROXY_USERNAME,
                         const_cast<wchar_t*>(m_spec.proxyUser.c_str()),
                         static_cast<DWORD>(m_spec.proxyUser.size()));
  }
  if (!m_spec.proxyPassword.empty()) {
    ::InternetSetOptionW(m_hInternet.get(), INTERNET_OPTION_PROXY_PASSWORD,
                         const_cast<wchar_t*>(m_spec.proxyPassword.c_str()),
                         static_cast<DWORD>(m_spec.proxyPassword.size()));
  }
  m_hInternetForConnect = m_hInternet.get();
  m_hConnectThread.reset(::CreateThread(nullptr, 0, ConnectThread, this, 0, nullptr));
  if (m_spec.timeoutMs != 0) ::SetTimer(m_hNotifyWnd, static_cast<UINT_PTR>(m_nId), m_spec.timeoutMs, nullptr);
}

FCHttpRequest::~FCHttpRequest() {
  ::KillTimer(m_hNotifyWnd, static_cast<UINT_PTR>(m_nId));
  m_hRequest.reset();
  m_hConnect.reset();
  m_hInternet.reset();
  m_hTransferThread.reset();
  m_hConnectThread.reset();
}

DWORD WINAPI FCHttpRequest::ConnectThread(void* param) {
  auto* self = static_cast<FCHttpRequest*>(param);
  const HWND window = self->m_hNotifyWnd;
  const int id = self->m_nId;
  // No connection is made here yet; the host and port are only recorded,
  // and the connection opens with the request.
  self->m_hConnect.reset(::InternetConnectW(self->m_hInternetForConnect, self->m_target.host.c_str(),
                                            self->m_target.port, nullptr, nullptr,
                                            INTERNET_SERVICE_HTTP, 0, 0));
  // From here on the request may be destroyed at any moment.
  ::SendNotifyMessageW(window, tov::kRequestEventMessage, static_cast<WPARAM>(id), tov::kEventConnected);
  return 0;
}

void FCHttpRequest::OpenAndSend() {
  m_hConnectThread.reset();
  m_spec.openFlags = tov::EffectiveOpenFlags(m_spec.openFlags, m_target.scheme);
  m_hRequest.reset(::HttpOpenRequestW(m_hConnect.get(), tov::VerbText(m_spec.verbCode),
                                      m_target.objectName.c_str(), nullptr, nullptr, nullptr,
                                      m_spec.openFlags, 0));
  m_hRequestForTransfer = m_hRequest.get();
  m_strHeaders = tov::ComposeRequestHeaders(m_spec.extraHeaders, m_spec.rangeStart);
  m_hTransferThread.reset(::CreateThread(nullptr, 0, TransferThread, this, 0, nullptr));
}

DWORD WINAPI FCHttpRequest::TransferThread(void* param) {
  auto* self = static_cast<FCHttpRequest*>(param);
  const HWND window = self->m_hNotifyWnd;
  const int id = self->m_nId;
  HINTERNET request = self->m_hRequestForTransfer;
  const std::string& body = self->m_spec.requestBody;

  const BOOL sent = ::HttpSendRequestW(
      request, self->m_strHeaders.empty() ? nullptr : self->m_strHeaders.c_str(),
      static_cast<DWORD>(self->m_strHeaders.size()), body.empty() ? nullptr : const_cast<char*>(body.data()),
      static_cast<DWORD>(body.size()));
  ::SendNotifyMessageW(window, tov::kRequestEventMessage, static_cast<WPARAM>(id), tov::kEventResponseStarted);

  std::vector<char> chunk(tov::kReadChunkBytes);
  // Without a response there is nothing to read. Some WinInet versions
  // answer a read on such a request with "success, zero bytes", which would
  // pass a failed transfer off as a complete empty one.
  BOOL ok = FALSE;
  while (sent) {
    DWORD got = 0;
    ok = ::InternetReadFile(request, chunk.data(), static_cast<DWORD>(chunk.size()), &got);
    if (!ok || got == 0) break;
    self->m_buffer.Append(chunk.data(), got);
  }
  self->m_response.readSucceeded = ok != FALSE;
  // From here on the request may be destroyed at any moment.
  ::SendNotifyMessageW(window, tov::kRequestEventMessage, static_cast<WPARAM>(id), tov::kEventFinished);
  return 0;
}

void FCHttpRequest::ReadResponseInfo() {
  HINTERNET request = m_hRequest.get();
  std::wstring status = QueryHeader(request, HTTP_QUERY_STATUS_CODE);
  std::wstring length = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH);
  m_response.lastModified = QueryHeader(request, HTTP_QUERY_LAST_MODIFIED);
  m_response.serverName = QueryHeader(request, HTTP_QUERY_SERVER);
  if (!status.empty()) m_response.statusCode = tov::LeadingDecimal(status);
  if (!length.empty()) m_response.contentLength = tov::LeadingDecimal(length);
}

HANDLE FCHttpRequest::AbortBlockingCall() {
  if (ThreadRunning(m_hTransferThread)) {
    m_hRequest.reset();
    return m_hTransferThread.get();
  }
  if (ThreadRunning(m_hConnectThread)) {
    m_hInternet.reset();
    return m_hConnectThread.get();
  }
  return nullptr;
}

bool FCHttpRequest::ThreadsEnded() const {
  return !ThreadRunning(m_hConnectThread) && !ThreadRunning(m_hTransferThread);
}
