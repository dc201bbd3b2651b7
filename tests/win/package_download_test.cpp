// The package transfer against a server on 127.0.0.1.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "loopback_http_server.h"
#include "provisioning/package_download.h"
#include "provisioning/provisioning_settings.h"

// This test executable runs with short limits, as the test build of the
// launcher does.
const bool g_shortLimits = [] {
  ProvisioningSettings settings = LauncherProvisioningSettings();
  settings.limits = TransferLimits{5, 2, 5};
  UseProvisioningSettings(settings);
  return true;
}();

namespace {

std::string ReadBack(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string data;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
  return data;
}

}  // namespace

TEST(PackageDownload, WritesTheBodyAndReportsProgressUpToTheTotal) {
  testing_support::LoopbackHttpServer server;
  std::string body(300000, 'z');
  server.SetReply({200, "", body});
  FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::vector<std::pair<int64_t, int64_t>> seen;
  DownloadOutcome outcome = DownloadToFile(server.Url("/packages/bm.zip"), file,
                                           [&](int64_t total, int64_t done) { seen.emplace_back(total, done); });
  EXPECT_TRUE(outcome.ok()) << outcome.curlResult << " " << outcome.httpStatus;
  EXPECT_EQ(ReadBack(file), body);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), std::make_pair(int64_t(body.size()), int64_t(body.size())));
  std::fclose(file);
}

TEST(PackageDownload, AFinalErrorStatusFailsEvenWithABody) {
  testing_support::LoopbackHttpServer server;
  server.SetReply({404, "", "not here"});
  FILE* file = std::tmpfile();
  DownloadOutcome outcome = DownloadToFile(server.Url("/packages/bm.zip"), file, nullptr);
  EXPECT_FALSE(outcome.ok());
  EXPECT_EQ(outcome.curlResult, 0);
  EXPECT_EQ(outcome.httpStatus, 404);
  std::fclose(file);
}

TEST(PackageDownload, ASilentServerEndsInAFailureWithinTheLimit) {
  testing_support::LoopbackHttpServer server;
  testing_support::Reply hang;
  hang.hang = true;
  server.SetReply(hang);
  FILE* file = std::tmpfile();
  DWORD start = GetTickCount();
  DownloadOutcome outcome = DownloadToFile(server.Url("/packages/bm.zip"), file, nullptr);
  DWORD elapsed = GetTickCount() - start;
  EXPECT_FALSE(outcome.ok());
  EXPECT_NE(outcome.curlResult, 0);
  // Generous bound: the point is that it ends at all.
  EXPECT_LT(elapsed, 30000u);
  server.ReleaseHeld();
  std::fclose(file);
}

TEST(PackageDownload, ARefusedConnectionFails) {
  int port;
  {
    testing_support::LoopbackHttpServer gone;
    port = gone.Port();
  }
  FILE* file = std::tmpfile();
  DownloadOutcome outcome =
      DownloadToFile("http://127.0.0.1:" + std::to_string(port) + "/bm.zip", file, nullptr);
  EXPECT_FALSE(outcome.ok());
  EXPECT_EQ(outcome.httpStatus, 0);

  // Only web addresses are fetched (libcurl is built for HTTP alone): the
  // configured address comes from the server, and a local file or another
  // scheme (smb hands out the player's credentials) must not be reached.
  testing_support::LoopbackHttpServer other;
  for (const std::string& address : {std::string("file:///C:/windows/win.ini"),
                                     "ftp://127.0.0.1:" + std::to_string(other.Port()) + "/bm.zip",
                                     "smb://127.0.0.1:" + std::to_string(other.Port()) + "/share/bm.zip"}) {
    outcome = DownloadToFile(address, file, nullptr);
    EXPECT_EQ(outcome.curlResult, 1) << address;  // CURLE_UNSUPPORTED_PROTOCOL
  }
  EXPECT_TRUE(other.Requests().empty());
  EXPECT_EQ(std::ftell(file), 0);
  std::fclose(file);
}

TEST(PackageDownload, APackageFileReceivesALargeBodyWhole) {
  testing_support::LoopbackHttpServer server;
  std::string body(5 * 1024 * 1024 + 123, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 7919) >> 5);
  server.SetReply({200, "", body});
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  std::wstring path = std::wstring(dir) + L"tov-package-" + std::to_wstring(GetCurrentProcessId()) + L".zip";
  FILE* file = OpenPackageFile(path);
  ASSERT_NE(file, nullptr);
  DownloadOutcome outcome = DownloadToFile(server.Url("/packages/bm.zip"), file, nullptr);
  EXPECT_TRUE(outcome.ok()) << outcome.curlResult << " " << outcome.httpStatus;
  EXPECT_EQ(std::fclose(file), 0);
  FILE* back = _wfopen(path.c_str(), L"rb");
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(ReadBack(back) == body);
  std::fclose(back);
  DeleteFileW(path.c_str());
}

TEST(PackageDownload, AFileThatRefusesWritesAbortsTheTransfer) {
  // Stands in for a full disk: every write fails.
  testing_support::LoopbackHttpServer server;
  server.SetReply({200, "", std::string(200000, 'x')});
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  std::wstring path = std::wstring(dir) + L"tov-readonly-" + std::to_wstring(GetCurrentProcessId());
  FILE* make = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(make, nullptr);
  std::fclose(make);
  FILE* file = _wfopen(path.c_str(), L"rb");
  ASSERT_NE(file, nullptr);
  DownloadOutcome outcome = DownloadToFile(server.Url("/packages/bm.zip"), file, nullptr);
  EXPECT_FALSE(outcome.ok());
  EXPECT_EQ(outcome.curlResult, 23);  // CURLE_WRITE_ERROR
  std::fclose(file);
  DeleteFileW(path.c_str());
}

TEST(PackageDownload, ANullFileAbortsTheTransfer) {
  testing_support::LoopbackHttpServer server;
  server.SetReply({200, "", "data"});
  DownloadOutcome outcome = DownloadToFile(server.Url("/bm.zip"), nullptr, nullptr);
  EXPECT_FALSE(outcome.ok());
  EXPECT_NE(outcome.curlResult, 0);
}

TEST(PackageDownload, AnAnnouncedLengthThatDoesNotFitStopsTheTransferBeforeItsBody) {
  testing_support::LoopbackHttpServer server;
  std::string body(3 * 1024 * 1024, 'p');
  server.SetReply({200, "", body});
  for (bool fits : {false, true}) {
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::vector<int64_t> asked;
    PackageTransfer transfer;
    DownloadOutcome outcome = transfer.Run(server.Url("/packages/bm.zip"), file, nullptr,
                                           [&](int64_t length) {
                                             asked.push_back(length);
                                             return fits;
                                           });
    EXPECT_EQ(asked, std::vector<int64_t>{int64_t(body.size())}) << fits;
    if (fits) {
      EXPECT_TRUE(outcome.ok());
      EXPECT_EQ(ReadBack(file), body);
    } else {
      EXPECT_EQ(outcome.curlResult, 23);  // CURLE_WRITE_ERROR, from the header
      EXPECT_EQ(ReadBack(file), "");
    }
    std::fclose(file);
  }
}
