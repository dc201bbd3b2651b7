// The launcher's transfers against HTTPS servers on 127.0.0.1: certificates
// are checked for real, and behind an https base no redirect leads to plain
// http. run_tls_test.py makes the certificates, starts the servers and
// names them in the environment.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "base/unique_handle.h"
#include "provisioning/package_download.h"
#include "provisioning/provisioning_settings.h"
#include "test_support.h"

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

class SecureTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("TOV_TLS_CA_FILE").empty()) << "run through tests/tls/run_tls_test.py";
  }

  // The transfers' settings behind `base`, with the test's CA file.
  static void Use(const std::string& base) {
    ProvisioningSettings settings = LauncherProvisioningSettings();
    settings.configUrlTemplate = std::wstring(base.begin(), base.end()) + L"/client_config_{ditch_name}.php";
    settings.limits = TransferLimits{5, 5, 5};
    settings.caFile = Env("TOV_TLS_CA_FILE");
    UseProvisioningSettings(settings);
  }

  // One package transfer of `url`: its outcome and the bytes it wrote.
  static std::pair<DownloadOutcome, std::string> Fetch(const std::string& url) {
    const std::wstring path = testing_support::TempPath(L"tov-tls-" + std::to_wstring(GetCurrentProcessId()));
    tov::UniqueFile file(OpenPackageFile(path));
    DownloadOutcome outcome = DownloadToFile(url, file.get(), {});
    file.reset();
    std::string bytes = testing_support::ReadFileBytes(path);
    DeleteFileW(path.c_str());
    return {outcome, bytes};
  }

  static std::string Redirect(const std::string& from, const std::string& to) {
    return from + "/redirect?to=" + to + "/package";
  }
};

TEST_F(SecureTransfer, TheTestCaAcceptsItsServerAndRefusesAnotherCasServer) {
  Use(Env("TOV_TLS_TRUSTED"));
  auto [accepted, body] = Fetch(Env("TOV_TLS_TRUSTED") + "/package");
  EXPECT_EQ(accepted.curlResult, CURLE_OK);
  EXPECT_EQ(accepted.httpStatus, 200);
  EXPECT_EQ(body, Env("TOV_TLS_BODY"));

  auto [refused, nothing] = Fetch(Env("TOV_TLS_FOREIGN") + "/package");
  EXPECT_EQ(refused.curlResult, CURLE_PEER_FAILED_VERIFICATION);
  EXPECT_EQ(refused.httpStatus, 0);
  EXPECT_EQ(nothing, "");
}

TEST_F(SecureTransfer, BehindAnHttpsBaseNoRedirectLeadsToPlainHttp) {
  const std::string secure = Env("TOV_TLS_TRUSTED");
  const std::string plain = Env("TOV_TLS_PLAIN");
  Use(secure);
  auto [down, nothing] = Fetch(Redirect(secure, plain));
  EXPECT_EQ(down.curlResult, CURLE_UNSUPPORTED_PROTOCOL);
  EXPECT_EQ(nothing, "");
  auto [kept, body] = Fetch(Redirect(secure, secure));
  EXPECT_EQ(kept.curlResult, CURLE_OK);
  EXPECT_EQ(body, Env("TOV_TLS_BODY"));

  // Behind a plain base a move to https is open, and so is the way back.
  Use(plain);
  for (const std::string& url : {Redirect(plain, secure), Redirect(secure, plain)}) {
    auto [outcome, bytes] = Fetch(url);
    EXPECT_EQ(outcome.curlResult, CURLE_OK) << url;
    EXPECT_EQ(bytes, Env("TOV_TLS_BODY")) << url;
  }
}

}  // namespace
