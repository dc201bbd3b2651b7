// The configuration body is collected as the raw bytes the server sent.
#include <gtest/gtest.h>

#include <string>

#include "provisioning/game_remote_config.h"

TEST(ConfigBodyCollection, KeepsEveryByteAndANullBodyAbortsTheTransfer) {
  std::string body;
  char first[] = {'K', '=', '\xcd'};  // a character split between two reads
  char second[] = {'\xf5', '\n', '\0', 'x'};
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(first, 1, sizeof first, &body), sizeof first);
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(second, 2, 2, &body), 4u);
  EXPECT_EQ(body, std::string("K=\xcd\xf5\n\0x", 7));
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(first, 1, sizeof first, nullptr), 0u);
}
