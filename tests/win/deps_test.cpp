// The statically linked libraries work inside a real Windows process.
#include <curl/curl.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <unzip.h>
#include <iowin32.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

// A one-shot HTTP server on 127.0.0.1 that answers the first request with a
// fixed body.
class OneShotServer {
 public:
  explicit OneShotServer(std::string body) : body_(std::move(body)) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listener_, 1);
    int len = sizeof addr;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~OneShotServer() {
    closesocket(listener_);
    thread_.join();
    WSACleanup();
  }
  int port() const { return port_; }
  const std::string& request() const { return request_; }

 private:
  void serve() {
    SOCKET c = accept(listener_, nullptr, nullptr);
    if (c == INVALID_SOCKET) return;
    char buf[4096];
    while (request_.find("\r\n\r\n") == std::string::npos) {
      int n = recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      request_.append(buf, n);
    }
    std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body_.size()) +
                        "\r\nConnection: close\r\n\r\n" + body_;
    send(c, reply.data(), static_cast<int>(reply.size()), 0);
    shutdown(c, SD_SEND);
    closesocket(c);
  }

  std::string body_;
  SOCKET listener_;
  int port_ = 0;
  std::string request_;
  std::thread thread_;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void Put16(std::string& s, uint16_t v) { s.append({char(v & 0xff), char(v >> 8)}); }
void Put32(std::string& s, uint32_t v) {
  Put16(s, uint16_t(v & 0xffff));
  Put16(s, uint16_t(v >> 16));
}

// A zip archive with one stored entry, written by hand so the test depends
// on nothing but zlib's CRC.
std::string StoredZip(const std::string& name, const std::string& data) {
  uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), data.size());
  std::string z;
  Put32(z, 0x04034b50); Put16(z, 20); Put16(z, 0); Put16(z, 0); Put16(z, 0); Put16(z, 0);
  Put32(z, crc); Put32(z, data.size()); Put32(z, data.size());
  Put16(z, name.size()); Put16(z, 0);
  z += name + data;
  uint32_t cd = z.size();
  Put32(z, 0x02014b50); Put16(z, 20); Put16(z, 20); Put16(z, 0); Put16(z, 0); Put16(z, 0); Put16(z, 0);
  Put32(z, crc); Put32(z, data.size()); Put32(z, data.size());
  Put16(z, name.size()); Put16(z, 0); Put16(z, 0); Put16(z, 0); Put16(z, 0); Put32(z, 0); Put32(z, 0);
  z += name;
  uint32_t cdSize = z.size() - cd;
  Put32(z, 0x06054b50); Put16(z, 0); Put16(z, 0); Put16(z, 1); Put16(z, 1);
  Put32(z, cdSize); Put32(z, cd); Put16(z, 0);
  return z;
}

}  // namespace

TEST(Dependencies, CurlIsStaticWithSchannelAndFetchesOverLoopback) {
  curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->version, "7.88.1");
  ASSERT_NE(info->ssl_version, nullptr);
  EXPECT_NE(std::string(info->ssl_version).find("Schannel"), std::string::npos);

  OneShotServer server("key=value\n");
  CURL* curl = curl_easy_init();
  ASSERT_NE(curl, nullptr);
  std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/probe";
  std::string body;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  EXPECT_EQ(rc, CURLE_OK);
  EXPECT_EQ(status, 200);
  EXPECT_EQ(body, "key=value\n");
}

TEST(Dependencies, MinizipReadsAnArchiveThroughWidePaths) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  std::wstring path = std::wstring(dir) + L"\u4e2d\u6587-probe.zip";
  std::string zip = StoredZip("bm/hello.txt", "hello from the archive");
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(h, zip.data(), static_cast<DWORD>(zip.size()), &written, nullptr);
  CloseHandle(h);

  zlib_filefunc64_def io;
  fill_win32_filefunc64W(&io);
  unzFile uf = unzOpen2_64(path.c_str(), &io);
  ASSERT_NE(uf, nullptr);
  unz_global_info64 gi{};
  ASSERT_EQ(unzGetGlobalInfo64(uf, &gi), UNZ_OK);
  EXPECT_EQ(gi.number_entry, 1u);
  char name[512];
  unz_file_info64 fi{};
  ASSERT_EQ(unzGetCurrentFileInfo64(uf, &fi, name, sizeof name, nullptr, 0, nullptr, 0), UNZ_OK);
  EXPECT_STREQ(name, "bm/hello.txt");
  ASSERT_EQ(unzOpenCurrentFile(uf), UNZ_OK);
  char buf[64] = {};
  int n = unzReadCurrentFile(uf, buf, sizeof buf);
  EXPECT_EQ(std::string(buf, n > 0 ? n : 0), "hello from the archive");
  EXPECT_EQ(unzCloseCurrentFile(uf), UNZ_OK);
  unzClose(uf);
  DeleteFileW(path.c_str());
}
