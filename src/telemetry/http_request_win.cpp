#include "telemetry/http_request.h"

#include <urlmon.h>

#include <vector>

#include "base/text_win.h"

std::wstring DefaultUserAgent() {
  // Asked once: the text does not change while the launcher runs. Never
  // destroyed, because a report made while the static destructors run
  // still reads it.
  static const std::wstring* agent = [] {
    char text[1024] = {};
    DWORD size = sizeof text;
    if (FAILED(::ObtainUserAgentString(0, text, &size))) return new std::wstring();
    return new std::wstring(AnsiToWide(std::string(text, sizeof text)));
  }();
  return *agent;
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

FCHttpRequest::FCHttpRequest(int id, HWND notifyWindow, const RequestSpec& params)
    : m_nId(id), m_hNotifyWnd(notifyWindow), m_params(params), m_target(tov::ParseRequestUrl(params.requestUrl)) {
  if (!m_params.proxyHost.empty()) {
    std::wstring proxy = m_params.proxyHost + L":" + std::to_wstring(m_params.proxyPort);
    m_hInternet.reset(::InternetOpenW(m_params.userAgent.c_str(), INTERNET_OPEN_TYPE_PROXY, proxy.c_str(),
                                      nullptr, 0));
  } else {
    m_hInternet.reset(::InternetOpenW(m_params.userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                      nullptr, 0));
  }
  if (!m_params.proxyUser.empty()) {
    ::InternetSetOptionW(m_hInternet.get(), INTERNET_OPTION_PROXY_USERNAME,
                         const_cast<wchar_t*>(m_params.proxyUser.c_str()),
                         static_cast<DWORD>(m_params.proxyUser.size()));
  }
  if (!m_params.proxyPassword.empty()) {
    ::InternetSetOptionW(m_hInternet.get(), INTERNET_OPTION_PROXY_PASSWORD,
                         const_cast<wchar_t*>(m_params.proxyPassword.c_str()),
                         static_cast<DWORD>(m_params.proxyPassword.size()));
  }
  m_hInternetForConnect = m_hInternet.get();
  m_hConnectThread.reset(::CreateThread(nullptr, 0, ConnectThread, this, 0, nullptr));
  if (m_params.timeoutMs != 0) ::SetTimer(m_hNotifyWnd, static_cast<UINT_PTR>(m_nId), m_params.timeoutMs, nullptr);
}

FCHttpRequest::~FCHttpRequest() {
  ::KillTimer(m_hNotifyWnd, static_cast<UINT_PTR>(m_nId));
  m_hRequest.reset();
  m_hConnect.reset();
  m_hInternet.reset();
  m_hTransferThread.reset();
  m_hConnectThread.reset();
}

DWORD WINAPI FCHttpRequest::ConnectThread(void* param) noexcept {
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
  m_params.openFlags = tov::EffectiveOpenFlags(m_params.openFlags, m_target.scheme);
  m_hRequest.reset(::HttpOpenRequestW(m_hConnect.get(), tov::VerbText(m_params.verbCode),
                                      m_target.objectName.c_str(), nullptr, nullptr, nullptr,
                                      m_params.openFlags, 0));
  m_hRequestForTransfer = m_hRequest.get();
  m_strHeaders = tov::ComposeRequestHeaders(m_params.extraHeaders, m_params.rangeStart);
  m_hTransferThread.reset(::CreateThread(nullptr, 0, TransferThread, this, 0, nullptr));
}

DWORD WINAPI FCHttpRequest::TransferThread(void* param) noexcept {
  auto* self = static_cast<FCHttpRequest*>(param);
  const HWND window = self->m_hNotifyWnd;
  const int id = self->m_nId;
  HINTERNET request = self->m_hRequestForTransfer;
  const std::string& body = self->m_params.requestBody;

  const BOOL sent = ::HttpSendRequestW(
      request, self->m_strHeaders.empty() ? nullptr : self->m_strHeaders.c_str(),
      static_cast<DWORD>(self->m_strHeaders.size()), body.empty() ? nullptr : const_cast<char*>(body.data()),
      static_cast<DWORD>(body.size()));
  ::SendNotifyMessageW(window, tov::kRequestEventMessage, static_cast<WPARAM>(id), tov::kEventResponseStarted);

  // Without a response there is nothing to read. Some WinInet versions
  // answer a read on such a request with "success, zero bytes", which would
  // pass a failed transfer off as a complete empty one.
  BOOL ok = FALSE;
  try {
    std::vector<char> chunk(tov::kReadChunkBytes);
    DWORD kept = 0;
    while (sent) {
      DWORD got = 0;
      ok = ::InternetReadFile(request, chunk.data(), static_cast<DWORD>(chunk.size()), &got);
      if (!ok || got == 0) break;
      if (got > tov::kMaxResponseBytes - kept) {
        ok = FALSE;
        break;
      }
      kept += got;
      self->m_buffer.Append(chunk.data(), got);
    }
  } catch (...) {
    ok = FALSE;  // out of memory: the answer counts as not read
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
