// The package transfer against a server on 127.0.0.1.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <future>
#include <string>
#include <vector>

#include "loopback_http_server.h"
#include "provisioning/package_digest_win.h"
#include "provisioning/package_download.h"
#include "provisioning/package_fetch_win.h"
#include "provisioning/provisioning_settings.h"
#include "test_support.h"

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

template <size_t N>
std::array<uint8_t, N> FromHex(const char* hex) {
  std::array<uint8_t, N> out{};
  for (size_t i = 0; i < N; ++i) out[i] = static_cast<uint8_t>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
  return out;
}

std::string DigestHex(PackageDigest& digest) {
  tov::Sha256Digest value{};
  if (!digest.Finish(value)) return "failed";
  return tov::ToHex(value.data(), value.size());
}

// FIPS 180-2's one million "a".
const std::string kMillionA(1000000, 'a');
const char kMillionASha256[] = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";

}  // namespace

TEST(PackageDigest, Sha256OfBlocksHandedInOneAfterTheOther) {
  PackageDigest empty;
  ASSERT_TRUE(empty.ok());
  EXPECT_EQ(DigestHex(empty), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  tov::Sha256Digest again{};
  EXPECT_FALSE(empty.Finish(again)) << "a finished digest yields no second value";
  EXPECT_FALSE(empty.Add("x", 1));

  PackageDigest abc;
  for (char c : std::string("abc")) ASSERT_TRUE(abc.Add(&c, 1));
  EXPECT_EQ(DigestHex(abc), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  // Uneven pieces across the block size of the hash.
  PackageDigest million;
  for (size_t at = 0, piece = 1; at < kMillionA.size(); at += piece, piece = piece * 3 % 70001 + 1) {
    ASSERT_TRUE(million.Add(kMillionA.data() + at, std::min(piece, kMillionA.size() - at)));
  }
  EXPECT_EQ(DigestHex(million), kMillionASha256);
}

TEST(PackageDigest, ASignatureHoldsOnlyForItsDigestAndKey) {
  // RFC 6979, A.2.5: P-256, SHA-256 of "sample".
  auto key = FromHex<64>(
      "60FED4BA255A9D31C961EB74C6356D68C049B8923B61FA6CE669622E60F29FB6"
      "7903FE1008B8BC99A41AE9E95628BC64F2F1B20C2D7E9F5177A3C294D4462299");
  auto signature = FromHex<64>(
      "EFD48B2AACB6A8FD1140DD9CD45E81D69D2C877B56AAF991C34D0EA84EAF3716"
      "F7CB1C942D657C41D436C7A1B6E29F65F3E900DBB9AFF4064DC4AB2F843ACDA8");
  PackageDigest sample;
  ASSERT_TRUE(sample.Add("sample", 6));
  tov::Sha256Digest digest{};
  ASSERT_TRUE(sample.Finish(digest));
  EXPECT_EQ(VerifyPackageSignature(key, digest, signature), SignatureCheck::Valid);

  tov::Sha256Digest otherDigest = digest;
  otherDigest[0] ^= 0x80;
  EXPECT_EQ(VerifyPackageSignature(key, otherDigest, signature), SignatureCheck::Invalid);
  for (size_t at : {0u, 63u}) {
    tov::P256Signature flipped = signature;
    flipped[at] ^= 1;
    EXPECT_EQ(VerifyPackageSignature(key, digest, flipped), SignatureCheck::Invalid) << at;
  }
  EXPECT_EQ(VerifyPackageSignature(key, digest, tov::P256Signature{}), SignatureCheck::Invalid);
  // Another point: not on the curve, which the system may refuse to import.
  tov::P256PublicKey otherKey = key;
  otherKey[63] ^= 1;
  EXPECT_NE(VerifyPackageSignature(otherKey, digest, signature), SignatureCheck::Valid);
}

// Each transfer test has a server and a temporary file to receive into.
class PackageDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    file = std::tmpfile();
    ASSERT_NE(file, nullptr);
  }
  void TearDown() override {
    if (file) std::fclose(file);
  }
  DownloadOutcome Fetch(FILE* to, const DownloadProgressFn& progress = nullptr,
                        PackageDigest* digest = nullptr) {
    return DownloadToFile(server.Url("/packages/bm.zip"), to, progress, digest);
  }

  testing_support::LoopbackHttpServer server;
  FILE* file = nullptr;
};

TEST_F(PackageDownload, TheDigestCoversExactlyTheBytesWrittenAndAFailedOneAbortsTheTransfer) {
  server.SetReply({200, "", kMillionA});
  PackageDigest digest;
  DownloadOutcome outcome = Fetch(file, nullptr, &digest);
  EXPECT_TRUE(outcome.ok()) << outcome.curlResult << " " << outcome.httpStatus;
  EXPECT_TRUE(ReadBack(file) == kMillionA);
  EXPECT_EQ(DigestHex(digest), kMillionASha256);

  // A digest that can take no more data (here: already finished).
  FILE* second = std::tmpfile();
  ASSERT_NE(second, nullptr);
  outcome = Fetch(second, nullptr, &digest);
  EXPECT_EQ(outcome.curlResult, 23);  // CURLE_WRITE_ERROR
  EXPECT_EQ(ReadBack(second), "") << "nothing unhashed reaches the file";
  std::fclose(second);
}

TEST_F(PackageDownload, WritesTheBodyAndReportsProgressUpToTheTotal) {
  std::string body(300000, 'z');
  server.SetReply({200, "", body});
  std::vector<std::pair<int64_t, int64_t>> seen;
  DownloadOutcome outcome = Fetch(file, [&](int64_t total, int64_t done) { seen.emplace_back(total, done); });
  EXPECT_TRUE(outcome.ok()) << outcome.curlResult << " " << outcome.httpStatus;
  EXPECT_EQ(ReadBack(file), body);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), std::make_pair(int64_t(body.size()), int64_t(body.size())));
}

TEST_F(PackageDownload, AFinalErrorStatusFailsEvenWithABody) {
  server.SetReply({404, "", "not here"});
  DownloadOutcome outcome = Fetch(file);
  EXPECT_FALSE(outcome.ok());
  EXPECT_EQ(outcome.curlResult, 0);
  EXPECT_EQ(outcome.httpStatus, 404);
}

TEST_F(PackageDownload, ASilentServerEndsInAFailureWithinTheLimit) {
  server.SetReply(testing_support::kHoldEveryRequest);
  DWORD start = GetTickCount();
  DownloadOutcome outcome = Fetch(file);
  DWORD elapsed = GetTickCount() - start;
  EXPECT_FALSE(outcome.ok());
  EXPECT_NE(outcome.curlResult, 0);
  // Generous bound: the point is that it ends at all.
  EXPECT_LT(elapsed, 30000u);
  server.ReleaseHeld();
}

TEST_F(PackageDownload, ARefusedConnectionFails) {
  const int port = testing_support::UnusedLoopbackPort();
  DownloadOutcome outcome = DownloadToFile("http://127.0.0.1:" + std::to_string(port) + "/bm.zip", file, nullptr);
  EXPECT_FALSE(outcome.ok());
  EXPECT_EQ(outcome.httpStatus, 0);

  // Only web addresses are fetched (libcurl is built for HTTP alone): the
  // configured address comes from the server, and a local file or another
  // scheme (smb hands out the player's credentials) must not be reached.
  const std::string other = "127.0.0.1:" + std::to_string(server.Port());
  for (const std::string& address : {std::string("file:///C:/windows/win.ini"), "ftp://" + other + "/bm.zip",
                                     "smb://" + other + "/share/bm.zip"}) {
    outcome = DownloadToFile(address, file, nullptr);
    EXPECT_EQ(outcome.curlResult, 1) << address;  // CURLE_UNSUPPORTED_PROTOCOL
  }
  EXPECT_TRUE(server.Requests().empty());
  EXPECT_EQ(std::ftell(file), 0);
}

TEST_F(PackageDownload, APackageFileReceivesALargeBodyWhole) {
  std::string body(5 * 1024 * 1024 + 123, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 7919) >> 5);
  server.SetReply({200, "", body});
  std::wstring path = testing_support::TempPath(L"tov-package-" + std::to_wstring(GetCurrentProcessId()) +
                                                L".zip");
  FILE* package = OpenPackageFile(path);
  ASSERT_NE(package, nullptr);
  DownloadOutcome outcome = Fetch(package);
  EXPECT_TRUE(outcome.ok()) << outcome.curlResult << " " << outcome.httpStatus;
  EXPECT_EQ(std::fclose(package), 0);
  FILE* back = _wfopen(path.c_str(), L"rb");
  ASSERT_NE(back, nullptr);
  EXPECT_TRUE(ReadBack(back) == body);
  std::fclose(back);
  DeleteFileW(path.c_str());
}

TEST_F(PackageDownload, AFileThatRefusesWritesAbortsTheTransfer) {
  // Stands in for a full disk: every write fails.
  server.SetReply({200, "", std::string(200000, 'x')});
  std::wstring path = testing_support::TempPath(L"tov-readonly-" + std::to_wstring(GetCurrentProcessId()));
  testing_support::WriteTestFile(path, "");
  FILE* readOnly = _wfopen(path.c_str(), L"rb");
  ASSERT_NE(readOnly, nullptr);
  DownloadOutcome outcome = Fetch(readOnly);
  EXPECT_FALSE(outcome.ok());
  EXPECT_EQ(outcome.curlResult, 23);  // CURLE_WRITE_ERROR
  std::fclose(readOnly);
  DeleteFileW(path.c_str());
}

TEST_F(PackageDownload, ANullFileAbortsTheTransfer) {
  server.SetReply({200, "", "data"});
  DownloadOutcome outcome = DownloadToFile(server.Url("/bm.zip"), nullptr, nullptr);
  EXPECT_FALSE(outcome.ok());
  EXPECT_NE(outcome.curlResult, 0);
}

TEST_F(PackageDownload, AnAnnouncedLengthThatDoesNotFitStopsTheTransferBeforeItsBody) {
  std::string body(3 * 1024 * 1024, 'p');
  server.SetReply({200, "", body});
  for (bool fits : {false, true}) {
    FILE* to = std::tmpfile();
    ASSERT_NE(to, nullptr);
    std::vector<int64_t> asked;
    PackageTransfer transfer;
    DownloadOutcome outcome = transfer.Run(server.Url("/packages/bm.zip"), to, nullptr, [&](int64_t length) {
      asked.push_back(length);
      return fits;
    });
    EXPECT_EQ(asked, std::vector<int64_t>{int64_t(body.size())}) << fits;
    if (fits) {
      EXPECT_TRUE(outcome.ok());
      EXPECT_EQ(ReadBack(to), body);
    } else {
      EXPECT_EQ(outcome.curlResult, 23);  // CURLE_WRITE_ERROR, from the header
      EXPECT_EQ(ReadBack(to), "");
    }
    std::fclose(to);
  }
}

TEST_F(PackageDownload, TheCloseStopsAWaitingTransferOrARetrysPauseAndNothingMoreIsAsked) {
  // A server that has not answered yet (not given up on for a minute); a 503
  // whose Retry-After holds the next attempt back a minute.
  const ProvisioningSettings before = CurrentProvisioningSettings();
  ProvisioningSettings patient = before;
  patient.limits.stallSeconds = 60;
  UseProvisioningSettings(patient);
  for (const testing_support::Reply& reply :
       {testing_support::kHoldEveryRequest, testing_support::Reply{503, "Retry-After: 60\r\n", "busy"}}) {
    testing_support::LoopbackHttpServer own;
    own.SetReply(reply);
    tov::ExitBarrier barrier;
    std::atomic<bool> pausing{false};
    PackageFetch fetch;
    fetch.file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    fetch.addresses = {own.WideUrl("/packages/bm.zip")};
    fetch.barrier = &barrier;
    fetch.waiting = [&](bool waiting) { pausing = pausing || waiting; };
    PackageTransfer transfer;
    tov::PartialRecord record;
    auto running = std::async(std::launch::async, [&] { return FetchPackage(transfer, fetch, record); });
    ASSERT_TRUE(testing_support::WaitFor([&] { return reply.hang ? own.Requests().size() == 1 : pausing.load(); }));
    barrier.Close(std::chrono::milliseconds(0));
    ASSERT_EQ(running.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "not stopped";
    EXPECT_TRUE(running.get().stopped && own.Requests().size() == 1) << reply.status;
  }
  UseProvisioningSettings(before);
}
