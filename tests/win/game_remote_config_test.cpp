// The configuration body is collected as the raw bytes the server sent.
#include <gtest/gtest.h>

#include <string>

#include "provisioning/game_remote_config.h"
#include "provisioning/remote_config.h"

TEST(ConfigBodyCollection, KeepsEveryByteAndANullBodyAbortsTheTransfer) {
  std::string body;
  char first[] = {'K', '=', '\xcd'};  // a character split between two reads
  char second[] = {'\xf5', '\n', '\0', 'x'};
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(first, 1, sizeof first, &body), sizeof first);
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(second, 2, 2, &body), 4u);
  EXPECT_EQ(body, std::string("K=\xcd\xf5\n\0x", 7));
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(first, 1, sizeof first, nullptr), 0u);
}

TEST(ConfigBodyCollection, ABodyBeyondTheCapAbortsTheTransfer) {
  std::string body, block(tov::kMaxConfigBodyBytes - 1, 'x');
  char more[] = {'y', 'z'};
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(block.data(), 1, block.size(), &body), block.size());
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(more, 1, 2, &body), 0u) << "one byte over the cap";
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(more, 1, 1, &body), 1u) << "up to the cap";
  EXPECT_EQ(CGameRemoteConfig::WriteConfigBody(more, 1, 1, &body), 0u);
  EXPECT_EQ(body, block + "y") << "nothing of a refused delivery is kept";
}
