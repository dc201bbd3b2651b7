#include "provisioning/remote_config.h"

#include <gtest/gtest.h>

#include "provisioning/config_seal.h"
#include "provisioning/config_value.h"
#include "provisioning/game_remote_config.h"

namespace tov {

namespace {
RemoteConfigMap Parse(const std::wstring& body) {
  RemoteConfigMap map;
  ParseConfigBody(body, map);
  return map;
}
}  // namespace

TEST(ConfigBody, KeyBeforeTheFirstEqualsValueUpToTheSecondFirstOccurrenceWins) {
  const struct {
    const wchar_t* body;
    RemoteConfigMap map;
  } rows[] = {
      {L"EntryUrl=/login?a=1&b=2\nk=b=c\n=x\nempty=\nno pair\n",
       {{L"EntryUrl", L"/login?a"}, {L"k", L"b"}, {L"", L"x"}, {L"empty", L""}}},
      // Nothing is trimmed and only a line feed ends a line.
      {L"ClientVersion=1.0\r\n key = v \na=1\rb=2",
       {{L"ClientVersion", L"1.0\r"}, {L" key ", L" v "}, {L"a", L"1\rb"}}},
      // The first occurrence wins, case-sensitively.
      {L"ClientVersion=1\nClientVersion=2\nclientversion=3\n=a\n=b",
       {{L"ClientVersion", L"1"}, {L"clientversion", L"3"}, {L"", L"a"}}},
      // Empty lines give nothing, the final one included.
      {L"", {}},
      {L"\n\n", {}},
      {L"a=1\n\nb=2\n", {{L"a", L"1"}, {L"b", L"2"}}},
  };
  for (const auto& row : rows) EXPECT_EQ(Parse(row.body), row.map) << testing::PrintToString(row.body);
}

TEST(ConfigLookup, AbsentDiffersFromEmptyAndNothingIsInserted) {
  const RemoteConfig& shared = PublishRemoteConfig(ReadRemoteConfig({}, "", false));
  const CGameRemoteConfig& config = CGameRemoteConfig::Instance();
  EXPECT_EQ(config.GetEntryUrl(), L"");
  EXPECT_EQ(config.GetCustomParameters(), L"");
  EXPECT_EQ(config.FindConfigValue(L"CustomParameters"), nullptr);
  EXPECT_TRUE(shared.values.empty()) << "a lookup inserted a key";

  const RemoteConfig& read = PublishRemoteConfig(ReadRemoteConfig(
      Parse(L"EntryUrl=http://127.0.0.1/entry\nCustomParameters=\n"), "", false));
  EXPECT_EQ(config.GetEntryUrl(), L"http://127.0.0.1/entry");
  ASSERT_NE(config.FindConfigValue(L"CustomParameters"), nullptr);
  EXPECT_EQ(config.GetCustomParameters(), L"");
  EXPECT_EQ(config.FindConfigValue(L"entryurl"), nullptr);
  EXPECT_EQ(read.values.size(), 2u);
}

TEST(ConfigSeal, TheSignatureLineIsTheLastOneAndCoversEveryByteBeforeIt) {
  const std::string hex(128, 'a');
  struct Case {
    std::string body;
    ConfigCheck check;
    size_t signedLength;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"a=1\nConfigSignature=" + hex, ConfigCheck::Passed, 4},
           {"a=1\r\nConfigSignature=" + hex + "\r\n", ConfigCheck::Passed, 5},
           {"ConfigSignature=" + hex + "\n", ConfigCheck::Passed, 0},
           {"a=1\nConfigSignature=" + hex + "\r\r\n", ConfigCheck::SignatureMalformed, 4},
           {"a=1\nConfigSignature=" + hex.substr(1), ConfigCheck::SignatureMalformed, 4},
           {"a=1\nConfigSignature=\n", ConfigCheck::SignatureMalformed, 4},
           {"ConfigSignature=" + hex + "\nb=2\n", ConfigCheck::SignatureMissing, 0},
           {"a=1\nConfigSignature=" + hex + "\n\n", ConfigCheck::SignatureMissing, 0},
           {" ConfigSignature=" + hex, ConfigCheck::SignatureMissing, 0},
           {"", ConfigCheck::SignatureMissing, 0},
       }) {
    SignedBody split = SplitSignedBody(c.body);
    EXPECT_EQ(split.check, c.check) << c.body;
    if (c.check != ConfigCheck::SignatureMissing) {
      EXPECT_EQ(split.signedLength, c.signedLength) << c.body;
    }
  }
}

TEST(ConfigSeal, ChannelSequenceAndExpiryAreCheckedInOrder) {
  const int64_t now = 1765324800;  // 2025-12-10T00:00:00Z
  struct Case {
    std::wstring body;
    uint64_t highest;
    std::wstring refusal;  // after "configuration refused: "
  };
  const std::wstring channel = L"ConfigChannel=chan\r\n";
  const std::wstring expires = L"ConfigExpires=2025-12-10T00:00:00Z\r\n";
  for (const Case& c : std::initializer_list<Case>{
           {channel + L"ConfigSequence=42\r\n" + expires, 42, L""},
           {L"ConfigSequence=42\n" + expires, 0, L"ConfigChannel is NotFound!"},
           {L"ConfigChannel=chan2\n", 0, L"channel chan2 is not chan"},
           {channel + expires, 0, L"ConfigSequence is NotFound!"},
           {channel + L"ConfigSequence=-1\n", 0, L"ConfigSequence is not an unsigned decimal number"},
           {channel + L"ConfigSequence=18446744073709551616\n", 0,
            L"ConfigSequence is not an unsigned decimal number"},
           {channel + L"ConfigSequence=41\n" + expires, 42, L"sequence 41 is below 42"},
           {channel + L"ConfigSequence=18446744073709551615\n", 0, L"ConfigExpires is NotFound!"},
           {channel + L"ConfigSequence=1\nConfigExpires=2025-02-29T00:00:00Z", 0,  // no leap year
            L"ConfigExpires is not YYYY-MM-DDTHH:MM:SSZ"},
           {channel + L"ConfigSequence=1\nConfigExpires=2025-12-09T23:59:59Z", 0,
            L"expired at 2025-12-09T23:59:59Z"},
       }) {
    ConfigSeal seal;
    ConfigVerdict verdict = CheckConfigSeal(Parse(c.body), {L"chan", c.highest, now}, seal);
    EXPECT_EQ(verdict.reason, c.refusal.empty() ? L"" : L"configuration refused: " + c.refusal)
        << std::string(c.body.begin(), c.body.end());
  }
}

TEST(ConfigValue, AddressesLoseTheirCrAndMirrorsAndPageHostsAreKept) {
  const std::wstring body =
      L"EntryUrl=http://h/e\r\nClientVersion=1.0\r\nClientDownloadUrl=http://a/{version}\r\n"
      L"ClientDownloadUrl3=http://c/\nClientDownloadUrl2=http://b/\nClientDownloadUrl5=http://e/\n"
      L"PageHosts=login.example;;pay.example\r\n";
  RemoteConfig plain = ReadRemoteConfig(Parse(body), "", false);
  EXPECT_EQ(plain.entryUrl + *plain.versionInUrl + L"|" + *plain.version, L"http://h/e1.0|1.0\r");
  EXPECT_EQ(plain.mirrorTemplates, (std::vector<std::wstring>{L"http://b/", L"http://c/"}));
  EXPECT_TRUE(plain.pageHosts.empty()) << "honoured only from a sealed body";
  EXPECT_EQ(ReadRemoteConfig(Parse(body), "", true).pageHosts,
            (std::vector<std::wstring>{L"login.example", L"pay.example"}));
}

TEST(ConfigAddress, EveryChannelPlaceholderIsReplacedAsItIs) {
  EXPECT_EQ(BuildConfigAddress(L"http://h/d/{ditch_name}/client_config_{ditch_name}.php", L"chan"),
            L"http://h/d/chan/client_config_chan.php");
  EXPECT_EQ(BuildConfigAddress(L"/{Ditch_Name}/{ditch_name}", L"a b&c"), L"/{Ditch_Name}/a b&c");
}

}  // namespace tov
