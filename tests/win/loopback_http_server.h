// A small HTTP server on 127.0.0.1 for the Windows tests: records every
// request byte for byte and answers as told, or holds the connection open
// without answering.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// A socket listening on 127.0.0.1 at a port the system picks (stored in
// `port`), with room for `backlog` connections not yet accepted.
inline SOCKET ListenOnLoopback(int backlog, int* port) {
  WSADATA wsa;
  ::WSAStartup(MAKEWORD(2, 2), &wsa);
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(listener, backlog);
  int len = sizeof addr;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  *port = ntohs(addr.sin_port);
  return listener;
}

// A port on 127.0.0.1 that nobody listens on: bound once and let go.
inline int UnusedLoopbackPort() {
  int port = 0;
  ::closesocket(ListenOnLoopback(1, &port));
  return port;
}

struct Reply {
  int status = 200;
  std::string headers;  // extra lines, each ending in CR LF
  std::string body;
  bool hang = false;  // read the request, never answer until released
};
// Every request is read and held, never answered, until released.
inline const Reply kHoldEveryRequest{200, "", "", true};

class LoopbackHttpServer {
 public:
  LoopbackHttpServer() {
    m_listener = ListenOnLoopback(64, &m_port);
    m_acceptor = std::thread([this] { AcceptLoop(); });
  }

  ~LoopbackHttpServer() {
    {
      std::lock_guard<std::mutex> hold(m_lock);
      m_released = true;
      m_closing = true;
      // Wakes handlers still waiting for a request that never completes.
      for (SOCKET s : m_open) ::shutdown(s, SD_BOTH);
    }
    m_changed.notify_all();
    ::closesocket(m_listener);
    m_acceptor.join();
    for (auto& t : m_handlers) t.join();
    ::WSACleanup();
  }

  int Port() const { return m_port; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
  }
  std::wstring WideUrl(const std::string& path) const {
    std::string u = Url(path);
    return std::wstring(u.begin(), u.end());
  }

  void SetReply(const Reply& reply) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_reply = reply;
    m_released = false;
  }
  // Lets every held connection go (closed without an answer).
  void ReleaseHeld() {
    {
      std::lock_guard<std::mutex> hold(m_lock);
      m_released = true;
    }
    m_changed.notify_all();
  }

  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_requests;
  }
  size_t Held() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_held;
  }
  // The threads that served connections, so that tests can tell them from
  // the threads of the code under test.
  std::vector<DWORD> HandlerThreadIds() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_handlerIds;
  }

 private:
  void AcceptLoop() {
    for (;;) {
      SOCKET c = ::accept(m_listener, nullptr, nullptr);
      if (c == INVALID_SOCKET) return;
      std::lock_guard<std::mutex> hold(m_lock);
      m_open.push_back(c);
      m_handlers.emplace_back([this, c] { Serve(c); });
    }
  }

  void Serve(SOCKET c) {
    {
      std::lock_guard<std::mutex> hold(m_lock);
      m_handlerIds.push_back(::GetCurrentThreadId());
    }
    std::string data;
    char buf[4096];
    size_t headEnd = std::string::npos;
    size_t want = 0;
    for (;;) {
      if (headEnd == std::string::npos) {
        headEnd = data.find("\r\n\r\n");
        if (headEnd != std::string::npos) want = headEnd + 4 + ContentLength(data.substr(0, headEnd));
      }
      if (headEnd != std::string::npos && data.size() >= want) break;
      // Not HTTP (a TLS hello): record what came and stop.
      if (!data.empty() && data[0] == '\x16') break;
      int n = ::recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      data.append(buf, n);
    }
    Reply reply;
    {
      std::lock_guard<std::mutex> hold(m_lock);
      m_requests.push_back(data);
      reply = m_reply;
    }
    m_changed.notify_all();
    if (reply.hang) {
      std::unique_lock<std::mutex> hold(m_lock);
      ++m_held;
      m_changed.wait(hold, [this] { return m_released; });
      --m_held;
    } else if (!data.empty() && data[0] != '\x16') {
      std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " Answer\r\nContent-Length: " +
                        std::to_string(reply.body.size()) + "\r\nConnection: close\r\n" + reply.headers +
                        "\r\n" + reply.body;
      SendAll(c, out);
      ::shutdown(c, SD_SEND);
    }
    std::lock_guard<std::mutex> hold(m_lock);
    m_open.erase(std::find(m_open.begin(), m_open.end(), c));
    ::closesocket(c);
  }

  // Clients under test hang up mid-body on purpose. Under Wine a blocking
  // send to a peer that has reset is not always woken, which kept a test
  // waiting for this thread forever: the answer goes out without blocking,
  // and the thread gives up once the server is closing.
  void SendAll(SOCKET c, const std::string& out) {
    u_long nonBlocking = 1;
    ::ioctlsocket(c, FIONBIO, &nonBlocking);
    size_t sent = 0;
    while (sent < out.size()) {
      int n = ::send(c, out.data() + sent, static_cast<int>(std::min<size_t>(out.size() - sent, 1 << 20)), 0);
      if (n > 0) {
        sent += static_cast<size_t>(n);
        continue;
      }
      if (n == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK) return;
      {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_closing) return;
      }
      fd_set writable;
      FD_ZERO(&writable);
      FD_SET(c, &writable);
      timeval slice{0, 100 * 1000};
      ::select(0, nullptr, &writable, nullptr, &slice);
    }
  }

  static size_t ContentLength(const std::string& head) {
    const std::string key = "\r\ncontent-length:";
    std::string lower;
    for (char ch : head) lower += static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    size_t at = lower.find(key);
    return at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + key.size(), nullptr, 10);
  }

  SOCKET m_listener;
  int m_port = 0;
  std::thread m_acceptor;
  std::vector<std::thread> m_handlers;
  std::mutex m_lock;
  std::condition_variable m_changed;
  Reply m_reply;
  bool m_released = false;
  bool m_closing = false;
  std::vector<SOCKET> m_open;
  size_t m_held = 0;
  std::vector<std::string> m_requests;
  std::vector<DWORD> m_handlerIds;
};

}  // namespace testing_support
