#include "provisioning/remote_config.h"

#include <gtest/gtest.h>

#include "provisioning/game_remote_config.h"

namespace tov {

namespace {
RemoteConfigMap Parse(const std::wstring& body) {
  RemoteConfigMap map;
  ParseConfigBody(body, map);
  return map;
}
}  // namespace

TEST(ConfigBody, KeyBeforeTheFirstEqualsValueUpToTheSecond) {
  RemoteConfigMap map = Parse(L"EntryUrl=/login?a=1&b=2\nk=b=c\n=x\nempty=\nno pair\n");
  EXPECT_EQ(map, (RemoteConfigMap{
                     {L"EntryUrl", L"/login?a"}, {L"k", L"b"}, {L"", L"x"}, {L"empty", L""}}));
}

TEST(ConfigBody, NothingIsTrimmedAndOnlyLineFeedEndsALine) {
  RemoteConfigMap map = Parse(L"ClientVersion=1.0\r\n key = v \na=1\rb=2");
  EXPECT_EQ(map.at(L"ClientVersion"), L"1.0\r");
  EXPECT_EQ(map.at(L" key "), L" v ");
  EXPECT_EQ(map.at(L"a"), L"1\rb");
  EXPECT_EQ(map.size(), 3u);
}

TEST(ConfigBody, FirstOccurrenceWinsCaseSensitively) {
  RemoteConfigMap map = Parse(L"ClientVersion=1\nClientVersion=2\nclientversion=3\n=a\n=b");
  EXPECT_EQ(map.at(L"ClientVersion"), L"1");
  EXPECT_EQ(map.at(L"clientversion"), L"3");
  EXPECT_EQ(map.at(L""), L"a");
}

TEST(ConfigBody, EmptyBodyAndEmptyLinesGiveNothing) {
  EXPECT_TRUE(Parse(L"").empty());
  EXPECT_TRUE(Parse(L"\n\n").empty());
  EXPECT_EQ(Parse(L"a=1\n\nb=2\n").size(), 2u);  // the final empty line adds nothing
}

TEST(ConfigLookup, AbsentDiffersFromEmptyAndNothingIsInserted) {
  RemoteConfigMap& shared = GetRemoteConfigMap();
  shared.clear();
  const CGameRemoteConfig& config = CGameRemoteConfig::Instance();
  EXPECT_EQ(config.GetEntryUrl(), L"");
  EXPECT_EQ(config.GetCustomParameters(), L"");
  EXPECT_EQ(config.FindConfigValue(L"CustomParameters"), nullptr);
  EXPECT_TRUE(shared.empty()) << "a lookup inserted a key";

  ParseConfigBody(L"EntryUrl=http://127.0.0.1/entry\nCustomParameters=\n", shared);
  EXPECT_EQ(config.GetEntryUrl(), L"http://127.0.0.1/entry");
  ASSERT_NE(config.FindConfigValue(L"CustomParameters"), nullptr);
  EXPECT_EQ(config.GetCustomParameters(), L"");
  EXPECT_EQ(config.FindConfigValue(L"entryurl"), nullptr);
  EXPECT_EQ(shared.size(), 2u);
  shared.clear();
}

TEST(ConfigAddress, EveryChannelPlaceholderIsReplacedAsItIs) {
  EXPECT_EQ(BuildConfigAddress(L"http://h/d/{ditch_name}/client_config_{ditch_name}.php", L"chan"),
            L"http://h/d/chan/client_config_chan.php");
  EXPECT_EQ(BuildConfigAddress(L"/{Ditch_Name}/{ditch_name}", L"a b&c"), L"/{Ditch_Name}/a b&c");
}

}  // namespace tov
