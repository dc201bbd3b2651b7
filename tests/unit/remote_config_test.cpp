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

TEST(ConfigBody, ValueEndsAtTheSecondEqualsSign) {
  RemoteConfigMap map = Parse(L"EntryUrl=/login?a=1&b=2\nk=b=c\n");
  EXPECT_EQ(map.at(L"EntryUrl"), L"/login?a");
  EXPECT_EQ(map.at(L"k"), L"b");
}

TEST(ConfigBody, NothingIsTrimmed) {
  RemoteConfigMap map = Parse(L"ClientVersion=1.0\r\n key = v \r\nlast=x");
  EXPECT_EQ(map.at(L"ClientVersion"), L"1.0\r");
  EXPECT_EQ(map.at(L" key "), L" v \r");
  EXPECT_EQ(map.at(L"last"), L"x");
  EXPECT_EQ(map.size(), 3u);
}

TEST(ConfigBody, FirstOccurrenceWins) {
  RemoteConfigMap map = Parse(L"ClientVersion=1\nClientVersion=2\nclientversion=3\n");
  EXPECT_EQ(map.at(L"ClientVersion"), L"1");
  EXPECT_EQ(map.at(L"clientversion"), L"3");
}

TEST(ConfigBody, EmptyKeysAndValuesAreStored) {
  RemoteConfigMap map = Parse(L"=x\nk=\n=\n");
  EXPECT_EQ(map.at(L""), L"x");  // "=" later is a duplicate of the empty key
  EXPECT_EQ(map.at(L"k"), L"");
  EXPECT_EQ(map.size(), 2u);
}

TEST(ConfigBody, LinesWithoutEqualsAndEmptyLinesAreSkipped) {
  EXPECT_TRUE(Parse(L"").empty());
  EXPECT_TRUE(Parse(L"\n\n\n").empty());
  EXPECT_TRUE(Parse(L"no pair here\r\n<html>\n").empty());
  RemoteConfigMap map = Parse(L"a=1\n\nplain\nb=2\n");
  EXPECT_EQ(map, (RemoteConfigMap{{L"a", L"1"}, {L"b", L"2"}}));
}

TEST(ConfigBody, OnlyLineFeedSeparatesLines) {
  // A lone CR is part of the text, so "a" holds the rest of the line.
  RemoteConfigMap map = Parse(L"a=1\rb=2\n");
  EXPECT_EQ(map.at(L"a"), L"1\rb");
  EXPECT_EQ(map.count(L"b"), 0u);
}

TEST(ConfigBody, ParsingAddsToWhatIsThere) {
  RemoteConfigMap map{{L"EntryUrl", L"kept"}};
  ParseConfigBody(L"EntryUrl=new\nx=1", map);
  EXPECT_EQ(map.at(L"EntryUrl"), L"kept");
  EXPECT_EQ(map.at(L"x"), L"1");
}

TEST(ConfigLookup, AbsentDiffersFromEmptyAndNothingIsInserted) {
  RemoteConfigMap map = Parse(L"Empty=\n");
  ASSERT_NE(FindConfigValue(map, L"Empty"), nullptr);
  EXPECT_EQ(*FindConfigValue(map, L"Empty"), L"");
  EXPECT_EQ(FindConfigValue(map, L"Missing"), nullptr);
  EXPECT_EQ(FindConfigValue(map, L"empty"), nullptr);
  EXPECT_EQ(map.size(), 1u);
}

TEST(ConfigLookup, ProcessWideMapThroughTheWorkerObject) {
  RemoteConfigMap& shared = GetRemoteConfigMap();
  shared.clear();
  const CGameRemoteConfig& config = CGameRemoteConfig::Instance();
  EXPECT_EQ(config.GetEntryUrl(), L"");
  EXPECT_EQ(config.GetCustomParameters(), L"");
  EXPECT_TRUE(shared.empty()) << "a lookup inserted a key";

  ParseConfigBody(L"EntryUrl=http://127.0.0.1/entry\nCustomParameters=\nClientVersion=1.0.0.1\n",
                  shared);
  EXPECT_EQ(config.GetEntryUrl(), L"http://127.0.0.1/entry");
  EXPECT_EQ(config.GetCustomParameters(), L"");
  ASSERT_NE(config.FindConfigValue(L"CustomParameters"), nullptr);
  EXPECT_EQ(config.FindConfigValue(L"ClientMiniUpdateVersion"), nullptr);
  EXPECT_EQ(*config.FindConfigValue(L"ClientVersion"), L"1.0.0.1");
  EXPECT_EQ(shared.size(), 3u);
  shared.clear();
}

TEST(ConfigAddress, EveryChannelPlaceholderIsReplaced) {
  EXPECT_EQ(BuildConfigAddress(L"http://127.0.0.1:1/d/{ditch_name}/client_config_{ditch_name}.php",
                               L"webvarn"),
            L"http://127.0.0.1:1/d/webvarn/client_config_webvarn.php");
  // Case-sensitive and unescaped; other braces stay.
  EXPECT_EQ(BuildConfigAddress(L"/{Ditch_Name}/{ditch_name}{version}", L"a b&c"),
            L"/{Ditch_Name}/a b&c{version}");
  EXPECT_EQ(BuildConfigAddress(L"http://127.0.0.1/plain", L"webvarn"), L"http://127.0.0.1/plain");
}

}  // namespace tov
