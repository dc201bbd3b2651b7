#include "provisioning/package_rules.h"

#include <gtest/gtest.h>

namespace tov {

TEST(DownloadUrl, ChannelFirstThenVersionEverywhere) {
  EXPECT_EQ(BuildDownloadUrl(L"http://h/p/{ditch_name}/{version}/bm.zip?c={ditch_name}", L"chan",
                             L"1.0.0.1"),
            L"http://h/p/chan/1.0.0.1/bm.zip?c=chan");
  EXPECT_EQ(BuildDownloadUrl(L"http://h/bm.zip", L"chan", L"1"), L"http://h/bm.zip");
  // A channel that itself holds the version placeholder gets the version too.
  EXPECT_EQ(BuildDownloadUrl(L"/{ditch_name}", L"x{version}", L"9"), L"/x9");
  EXPECT_EQ(BuildDownloadUrl(L"/{Version}", L"c", L"9"), L"/{Version}");
}

TEST(Progress, DownloadPercentRules) {
  EXPECT_EQ(DownloadProgress(0, 12345).text, L"0%");
  EXPECT_EQ(DownloadProgress(0, 12345).position, 0);
  EXPECT_EQ(DownloadProgress(1000, 370).text, L"37%");
  EXPECT_EQ(DownloadProgress(1000, 379).position, 37);
  EXPECT_EQ(DownloadProgress(1000, 1500).text, L"100%");
  EXPECT_EQ(DownloadProgress(1000, 1500).position, 100);
  int64_t big = int64_t(6) << 30;  // 6 GiB
  EXPECT_EQ(DownloadProgress(big, big / 2).position, 50);
}

TEST(Progress, OnlyReportsThatChangeTheScreenPassTheFilter) {
  ProgressRepeatFilter filter;
  EXPECT_TRUE(filter.IsNew(DownloadProgress(0, 10), 1));
  // A transfer without a length repeats 0% at 0 to its end.
  EXPECT_FALSE(filter.IsNew(DownloadProgress(0, 5000), 1));
  EXPECT_FALSE(filter.IsNew(DownloadProgress(1000, 9), 1));
  EXPECT_TRUE(filter.IsNew(DownloadProgress(1000, 10), 1));
  EXPECT_FALSE(filter.IsNew(DownloadProgress(1000, 19), 1));
  EXPECT_TRUE(filter.IsNew(DownloadProgress(1000, 20), 1));
  // The same position in the other phase names the phase label anew.
  EXPECT_TRUE(filter.IsNew({L"1/50", 2}, 0));
  // The panel would keep "1/50": a new count at the same position shows nothing.
  EXPECT_FALSE(filter.IsNew({L"2/100", 2}, 0));
  EXPECT_TRUE(filter.IsNew({L"3/100", 3}, 0));
  EXPECT_TRUE(filter.IsNew({L"3/100", 3}, 1));
}

TEST(Progress, UnzipCountsEntries) {
  EXPECT_EQ(UnzipProgress(1, 3).text, L"1/3");
  EXPECT_EQ(UnzipProgress(1, 3).position, 33);
  EXPECT_EQ(UnzipProgress(2, 3).position, 66);
  EXPECT_EQ(UnzipProgress(3, 3).position, 100);
  EXPECT_EQ(UnzipProgress(70000, 70000).text, L"70000/70000");
}

TEST(EntryNames, OnlyNamesThatStayInsideAreAccepted) {
  for (const wchar_t* ok : {L"gm/game.exe", L"gm/", L"a/b/c.txt", L"a\\b.txt", L"./a", L"a..b/c",
                            L"..a", L"a/.b", L"\u6e38\u620f/\u6570\u636e.pak"}) {
    EXPECT_EQ(UnsafeEntryReason(ok), L"") << ok;
  }
  for (const wchar_t* bad : {L"../evil.exe", L"a/../../evil", L"a\\..\\..\\evil", L"..", L"a/..",
                             L"/etc/x", L"\\windows\\x", L"\\\\server\\share\\x", L"C:\\x",
                             L"C:x", L"a/b:stream", L"a/.../x", L"a/.. /x", L""}) {
    EXPECT_NE(UnsafeEntryReason(bad), L"") << bad;
  }
}

TEST(EmptyArchive, OnlyABareEndRecordCounts) {
  std::string empty("PK\x05\x06", 4);
  empty += std::string(18, '\0');
  EXPECT_TRUE(IsEmptyZipArchive(empty));
  std::string commented = empty;
  commented[20] = 3;
  EXPECT_FALSE(IsEmptyZipArchive(commented));  // comment length says 3, none there
  EXPECT_TRUE(IsEmptyZipArchive(commented + "abc"));
  std::string oneEntry = empty;
  oneEntry[8] = 1;
  EXPECT_FALSE(IsEmptyZipArchive(oneEntry));
  EXPECT_FALSE(IsEmptyZipArchive("PK\x03\x04 not an end record at all"));
  EXPECT_FALSE(IsEmptyZipArchive(""));
}

}  // namespace tov
