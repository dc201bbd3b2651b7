// The machine profile read from the running system.
#include "telemetry/machine_profile.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

#include "telemetry/machine_probes.h"

namespace {

bool Matches(const std::wstring& text, const wchar_t* pattern) {
  return std::regex_match(text, std::wregex(pattern));
}

// Runs first: the profile is built once per process, and the threads race
// for that first build.
TEST(MachineProfile, FirstCallsFromManyThreadsShareOneBuild) {
  std::vector<const MachineProfile*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = &GetMachineProfile(); });
  for (auto& t : threads) t.join();
  for (const MachineProfile* p : seen) EXPECT_EQ(p, seen[0]);
  EXPECT_EQ(&GetMachineProfile(), seen[0]);
}

TEST(MachineProfile, FieldsHaveTheirShapes) {
  const MachineProfile& p = GetMachineProfile();
  EXPECT_TRUE(Matches(p.macAddress, L"unkown|[0-9A-F]{2}(-[0-9A-F]{2}){5}")) << p.macAddress;
  EXPECT_TRUE(Matches(p.memoryInfo, L"physical memory:[1-9][0-9]* MB virtual memory:[1-9][0-9]* MB")) << p.memoryInfo;
  // WMI answers under Wine as on Windows; a digest, not the fallback.
  EXPECT_TRUE(Matches(p.clientUid, L"[0-9a-f]{32}")) << p.clientUid;
  // The text sent as os_version carries the processor and memory texts.
  ASSERT_GE(p.osVersion.size(), p.cpuName.size() + p.memoryInfo.size());
  EXPECT_EQ(p.osVersion.substr(p.osVersion.size() - p.cpuName.size() - p.memoryInfo.size()),
            p.cpuName + p.memoryInfo);
  EXPECT_TRUE(Matches(p.osVersion.substr(0, p.osVersion.size() - p.cpuName.size() - p.memoryInfo.size()),
                      L"Version major:[0-9]+ minor:[0-9]+ build:[0-9]+"))
      << p.osVersion;
}

TEST(VersionTest, ComparesTheTripleAgainstTheRunningSystem) {
  std::wstring text;
  ReadOsVersion(text);
  std::wsmatch m;
  ASSERT_TRUE(std::regex_match(text, m, std::wregex(L"Version major:([0-9]+) minor:([0-9]+) build:[0-9]+"))) << text;
  const int major = std::stoi(m[1].str());
  const int minor = std::stoi(m[2].str());
  EXPECT_TRUE(IsVersionAtLeast(6, 0, 0));
  EXPECT_TRUE(IsVersionAtLeast(major, minor, 0));
  EXPECT_FALSE(IsVersionAtLeast(major + 1, 0, 0));
  EXPECT_FALSE(IsVersionAtLeast(major, minor + 1, 0));
  EXPECT_FALSE(IsVersionAtLeast(major, minor, 99));
  // An older major wins whatever its minor number.
  EXPECT_TRUE(IsVersionAtLeast(major - 1, 99, 0));
}

}  // namespace
