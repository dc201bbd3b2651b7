// The statically linked libraries work inside a real Windows process.
#include <curl/curl.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <unzip.h>
#include <iowin32.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <string>

#include "loopback_http_server.h"
#include "test_support.h"
#include "zip_writer.h"

namespace {

size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

}  // namespace

TEST(Dependencies, CurlIsStaticWithSchannelAndFetchesOverLoopback) {
  curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->version, "7.88.1");
  ASSERT_NE(info->ssl_version, nullptr);
  EXPECT_NE(std::string(info->ssl_version).find("Schannel"), std::string::npos);

  testing_support::LoopbackHttpServer server;
  server.SetReply({200, "", "key=value\n"});
  CURL* curl = curl_easy_init();
  ASSERT_NE(curl, nullptr);
  std::string url = server.Url("/probe");
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
  std::wstring path = testing_support::TempPath(L"\u4e2d\u6587-probe.zip");
  testing_support::WriteTestFile(path, BuildTestZip({{"bm/hello.txt", "hello from the archive"}}));
  ASSERT_FALSE(HasFatalFailure());

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
