#include "provisioning/package_rules.h"

#include <gtest/gtest.h>

#include <vector>

#include "wide_fold.h"

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

TEST(EntryNames, NamesWindowsWouldSendElsewhereOrRenameAreRefused) {
  const struct {
    const wchar_t* reason;
    std::vector<const wchar_t*> names;
  } groups[] = {
      // Devices, in any component, with or without an extension, in any case.
      {L"device name", {L"CON", L"nul", L"bm/NUL.txt", L"bm/aux.tar.gz", L"prn/x.txt", L"a/COM1", L"a/com9.log",
                        L"LPT1/x", L"a/lpt5.dat", L"a/Con .txt", L"a/CONIN$", L"a/conout$.x", L"a/COM\u00b9",
                        L"a/LPT0"}},
      // Windows stores "data." as "data" and "x.exe " as "x.exe".
      {L"component ending in a dot or blank", {L"bm./x.txt", L"bm/x.exe ", L"a /b", L"bm/data.", L"a\\b.\\c"}},
      {L"control character", {L"bm/\x01.txt", L"a\tb", L"line\nbreak", L"x\x7f"}},
      {L"reserved character", {L"a?.txt", L"b*", L"c<d", L"e>f", L"g|h", L"i\"j"}},
      // Names that only look like devices, and directory entries, stay allowed.
      {L"", {L"bm/console.txt", L"bm/CON1", L"bm/COM10", L"bm/LPT", L"bm/nul_x.txt", L"bm/auxiliary/",
             L"bm/data/", L"bm/.hidden", L"a/./b.txt", L"bm/x.COM1", L"bm/a~b.dll", L"bm/x~.txt", L"bm/~1x",
             L"bm/v1~2a.pak"}},
      {L"short name alias", {L"bm/BRAKMO~1.DLL", L"PROGRA~12/x.txt", L"bm/data~3", L"bm/a.b~1/x"}},
  };
  for (const auto& group : groups) {
    for (const wchar_t* name : group.names) EXPECT_EQ(UnsafeEntryReason(name), group.reason) << name;
  }
}

TEST(PackageBounds, RatioAndReserve) {
  const uint64_t mib = 1024 * 1024;
  EXPECT_EQ(EntryBoundReason(0, mib) + EntryBoundReason(2048, 2048000), L"");  // small, or exactly 1:1000
  EXPECT_EQ(EntryBoundReason(2048, 2048001), L"compression ratio above 1:1000 (2048001 bytes from 2048)");
  EXPECT_EQ(EntryBoundReason(0, mib + 1), L"compression ratio above 1:1000 (1048577 bytes from 0)");
  EXPECT_EQ(EntryBoundReason(1, UINT64_MAX), L"compression ratio above 1:1000 (18446744073709551615 bytes from 1)");
  EXPECT_EQ(FreeSpaceReserve(20ull << 30), 1ull << 30);
  EXPECT_EQ(FreeSpaceReserve(100ull << 30), 5ull << 30);
}

TEST(EntryNames, OnlyStoredAndDeflatedPlainEntriesAreDecodable) {
  EXPECT_EQ(UndecodableEntryReason(0, 0), L"");
  EXPECT_EQ(UndecodableEntryReason(8, 0x0800), L"");  // a UTF-8 name changes nothing
  EXPECT_EQ(UndecodableEntryReason(12, 0), L"compression method 12 (bzip2)");
  EXPECT_EQ(UndecodableEntryReason(14, 0x0002), L"compression method 14 (LZMA)");
  EXPECT_EQ(UndecodableEntryReason(9, 0), L"compression method 9 (deflate64)");
  EXPECT_EQ(UndecodableEntryReason(77, 0), L"compression method 77");
  EXPECT_EQ(UndecodableEntryReason(8, 0x0001), L"encrypted");
  EXPECT_EQ(UndecodableEntryReason(0, 0x0041), L"encrypted");
}

TEST(ComparableNames, EverySpellingOfOneFileIsOneName) {
  NameFold fold = WideTestFold;
  const std::wstring one = ComparableName(L"C:\\tov\\client\\bm/Data/\u00c4\u03a3.txt", fold);
  for (const wchar_t* spelling :
       {L"C:\\tov\\client\\bm\\data\\\u00e4\u03c3.txt", L"c:/tov/client/./bm//DATA/\u00e4\u03a3.TXT",
        L"C:\\tov\\client\\.\\bm\\.\\data\\\u00c4\u03c3.txt.", L"C:\\tov\\client\\bm\\data \\\u00e4\u03c3.txt"}) {
    EXPECT_EQ(ComparableName(spelling, fold), one) << spelling;
  }
  for (const wchar_t* other : {L"C:\\tov\\client\\bm\\data\\a\u03c3.txt",
                               L"C:\\tov\\client\\bm\\..\\data\\\u00e4\u03c3.txt",
                               L"C:\\tov\\client\\bm\\data\\\u00e4\u03c3.txt2"}) {
    EXPECT_NE(ComparableName(other, fold), one) << other;
  }
  // Without the system's table, letters fold one by one.
  EXPECT_EQ(ComparableName(L"./Bm/x.TXT", nullptr), ComparableName(L"bm\\X.txt", nullptr));
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
