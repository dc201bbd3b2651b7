// Unpacking packages into the client directory, good ones and hostile ones.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "provisioning/flush_behind_win.h"
#include "provisioning/free_space_win.h"
#include "provisioning/package_archive_win.h"
#include "provisioning/package_extract.h"
#include "provisioning/version_file_win.h"
#include "test_support.h"
#include "zip_writer.h"

namespace fs = std::filesystem;
using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::WriteTestFile;

namespace {

class Extract : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing_support::TempPath(L"tov-unzip-\u5305-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                      std::to_wstring(counter_++));
    client_ = root_ + L"\\client";
    fs::create_directories(client_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  std::wstring Write(const std::string& bytes) {
    std::wstring path = root_ + L"\\bm.zip";
    WriteTestFile(path, bytes);
    return path;
  }

  int Run(const std::vector<TestZipEntry>& entries, const FreeSpaceProbe& freeSpace = nullptr) {
    steps_.clear();
    return ExtractPackage(Write(BuildTestZip(entries)), client_,
                          [this](const std::wstring& t, int p) { steps_.emplace_back(t, p); },
                          freeSpace) == ExtractResult::Unpacked;
  }

  std::string Read(const std::wstring& relative) {
    std::wstring path = client_ + L"\\" + relative;
    return PathExists(path) ? ReadFileBytes(path) : "<missing>";
  }

  // The version file of an earlier install, as the version check finds it.
  void PlantVersion(const std::string& text) { WriteTestFile(client_ + L"\\game_client_version.txt", text); }
  std::string Version() { return Read(L"game_client_version.txt"); }

  static inline int counter_ = 0;
  std::wstring root_, client_;
  std::vector<std::pair<std::wstring, int>> steps_;
};

}  // namespace

TEST_F(Extract, WritesEveryEntryInOrderWithCountProgress) {
  ASSERT_EQ(Run({{"bm/", ""}, {"bm/game.exe", "MZ-binary"}, {"bm/data/deep/x.txt", "no dir entries"}}), 1);
  EXPECT_EQ(Read(L"bm\\game.exe"), "MZ-binary");
  EXPECT_EQ(Read(L"bm\\data\\deep\\x.txt"), "no dir entries");
  std::vector<std::pair<std::wstring, int>> expected = {{L"1/3", 33}, {L"2/3", 66}, {L"3/3", 100}};
  EXPECT_EQ(steps_, expected);
}

TEST_F(Extract, ArchivesFarLargerThanTheReadWindowUnpackIntact) {
  // A central directory, entries and one entry each bigger than the reader's
  // window, and entries straddling its edges.
  std::vector<TestZipEntry> entries;
  // Long names make a central directory larger than the window with few files.
  const std::string padding(150, 'n');
  for (int i = 0; i < 2000; ++i) {
    std::string data(static_cast<size_t>(i * 37 % 1500), '\0');
    for (size_t j = 0; j < data.size(); ++j) data[j] = static_cast<char>('a' + (i + j) % 26);
    entries.push_back({"bm/" + std::to_string(i % 20) + "/" + padding + std::to_string(i), data});
    if (i == 1234) entries.push_back({"bm/big.pak", std::string(700 * 1024, 'B') + "end"});
  }
  ASSERT_EQ(Run(entries), 1);
  EXPECT_EQ(steps_.size(), entries.size());
  for (const TestZipEntry& e : entries) {
    std::wstring name(e.name.begin(), e.name.end());
    std::replace(name.begin(), name.end(), L'/', L'\\');
    ASSERT_EQ(Read(name), e.data) << e.name;
  }
}

TEST_F(Extract, OverwritesFilesAndKeepsOnesTheArchiveLacks) {
  ASSERT_EQ(Run({{"a.txt", "old"}, {"b.txt", "kept"}}), 1);
  ASSERT_EQ(Run({{"a.txt", "new"}}), 1);
  EXPECT_EQ(Read(L"a.txt"), "new");
  EXPECT_EQ(Read(L"b.txt"), "kept");
}

TEST_F(Extract, EntriesOfOneNameLandInArchiveOrderWhateverTheirSize) {
  // Small entries are written in the background, large ones directly.
  std::string large(1536 * 1024, 'L');
  ASSERT_EQ(Run({{"same.bin", "small first"}, {"same.bin", large}}), 1);
  EXPECT_EQ(Read(L"same.bin"), large);
  ASSERT_EQ(Run({{"same.bin", large}, {"same.bin", "small last"}}), 1);
  EXPECT_EQ(Read(L"same.bin"), "small last");
}

TEST_F(Extract, AFileThatCannotBeWrittenEndsTheExtraction) {
  // A directory stands where the file belongs.
  ASSERT_TRUE(CreateDirectoryW((client_ + L"\\taken.txt").c_str(), nullptr));
  std::vector<TestZipEntry> entries = {{"a.txt", "1"}, {"taken.txt", "2"}};
  for (int i = 0; i < 50; ++i) entries.push_back({"later" + std::to_string(i) + ".txt", "3"});
  EXPECT_EQ(Run(entries), 0);
  EXPECT_EQ(Read(L"a.txt"), "1");
  EXPECT_NE(steps_.size(), entries.size());

  std::string large(1536 * 1024, 'L');
  EXPECT_EQ(Run({{"b.txt", "1"}, {"taken.txt", large}, {"after.txt", "3"}}), 0);
  EXPECT_EQ(Read(L"b.txt"), "1");
  EXPECT_FALSE(PathExists(client_ + L"\\after.txt"));
}

TEST_F(Extract, AnEmptyArchiveSucceedsAndWritesNothing) {
  EXPECT_EQ(Run({}), 1);
  EXPECT_TRUE(steps_.empty());
}

TEST_F(Extract, NamesFlaggedUtf8AreDecodedAsUtf8) {
  ASSERT_EQ(Run({{"\xe6\xb8\xb8\xe6\x88\x8f/\xe6\x95\xb0\xe6\x8d\xae.txt", "cn", true}}), 1);
  EXPECT_EQ(Read(L"\u6e38\u620f\\\u6570\u636e.txt"), "cn");
}

TEST_F(Extract, EntriesClimbingOutOfTheClientDirectoryAreRefused) {
  for (const char* evil : {"../evil.txt", "bm/../../evil.txt", "..\\evil.txt", "/evil.txt",
                           "C:/evil.txt", "bm/.../evil.txt"}) {
    EXPECT_EQ(Run({{"first.txt", "written"}, {evil, "payload"}}), 0) << evil;
    EXPECT_EQ(Read(L"first.txt"), "written");
    EXPECT_FALSE(PathExists(root_ + L"\\evil.txt")) << evil;
  }
}

TEST_F(Extract, ChecksumMismatchAndUndecodableDataFail) {
  EXPECT_EQ(Run({{"good.txt", "fine"}, {"bad.txt", "tampered", false, true}}), 0);
  EXPECT_EQ(Read(L"good.txt"), "fine");
  EXPECT_EQ(Run({{"broken.bin", std::string("\xff\xfe\xfd garbage", 11), false, false, true}}), 0);
  // The reader compares no checksum for data that ends before its declared
  // size, nor for bzip2 data, which it hands out still compressed.
  EXPECT_EQ(Run({{"short.bin", "tampered", false, true, false, -1, 0, 10}}), 0);
  EXPECT_EQ(Run({{"bz.bin", "BZh91AY&SY", false, true, false, 12}}), 0);
  EXPECT_EQ(Run({{"bz.bin", "BZh91AY&SY", false, false, false, 12}}), 0);
}

TEST_F(Extract, OverlongNamesAndPathsAreRefusedNotCut) {
  EXPECT_EQ(Run({{std::string(512, 'n'), "x"}}), 0);
  std::string deep;
  while (client_.size() + deep.size() < 270) deep += "abcdefghij/";
  EXPECT_EQ(Run({{deep + "f.txt", "x"}}), 0);
}

TEST_F(Extract, TheHeldArchiveAdmitsNoOtherWriterAndIsUnpackedThroughItsHandle) {
  const std::wstring path = root_ + L"\\bm.zip";
  WriteTestFile(path, "kept part");
  {
    tov::UniqueHandleK kept = OpenPackageArchive(path, true);
    ASSERT_TRUE(kept);
    EXPECT_EQ(FileLength(kept.get()), 9) << "reopened to be continued, not truncated";
  }
  tov::UniqueHandleK archive = OpenPackageArchive(path, false);
  ASSERT_TRUE(archive);
  EXPECT_EQ(FileLength(archive.get()), 0);
  std::string zip = BuildTestZip({{"bm/a.txt", "through the handle"}});
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(archive.get(), zip.data(), DWORD(zip.size()), &written, nullptr));
  for (DWORD access : {DWORD(GENERIC_WRITE), DWORD(GENERIC_READ | GENERIC_WRITE), DWORD(DELETE)}) {
    tov::UniqueHandleK other(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(other) << access;
  }
  EXPECT_FALSE(MoveFileExW(path.c_str(), (path + L".moved").c_str(), MOVEFILE_REPLACE_EXISTING));
  tov::UniqueHandleK reader(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(reader) << "readers may share";
  EXPECT_EQ(ExtractPackageFrom(archive.get(), client_, nullptr), ExtractResult::Unpacked);
  EXPECT_EQ(Read(L"bm\\a.txt"), "through the handle");
}

TEST_F(Extract, SomethingThatIsNoArchiveFails) {
  EXPECT_EQ(ExtractPackage(Write("this is not a zip archive"), client_, nullptr), ExtractResult::Unreadable);
  EXPECT_EQ(ExtractPackage(root_ + L"\\missing.zip", client_, nullptr), ExtractResult::Unreadable);
}

TEST_F(Extract, EntriesTheReaderCannotDecodeFailTheArchiveBeforeAnythingIsWritten) {
  // The reader would hand back such entries' bytes as they are stored, and
  // they would be installed as the client's files.
  std::vector<TestZipEntry> undecodable = {
      {"bm/packed.bin", "BZh91AY&SY compressed", false, false, false, 12},
      {"bm/packed.bin", "]\0\0\x80\0 lzma", false, false, false, 14},
      {"bm/packed.bin", "deflate64", false, false, false, 9},
      {"bm/", "", false, false, false, 12},
      {"bm/secret.txt", "encrypted bytes", false, false, false, -1, 1},
      {"bm/secret.txt", "encrypted bytes", false, false, false, 8, 1}};
  for (const TestZipEntry& entry : undecodable) {
    PlantVersion("1.0.0.0");
    EXPECT_EQ(Run({{"first.txt", "would be written"}, entry, {"last.txt", "too"}}), 0) << entry.method;
    EXPECT_FALSE(PathExists(client_ + L"\\first.txt")) << entry.method;
    EXPECT_FALSE(PathExists(client_ + L"\\bm")) << entry.method;
    EXPECT_TRUE(steps_.empty());
    // Nothing changed, so the client that was there stays as it was.
    EXPECT_EQ(Version(), "1.0.0.0");
  }
}

TEST_F(Extract, NamesWindowsWouldSendToADeviceOrStoreUnderAnotherNameAreRefused) {
  for (const char* evil : {"bm/NUL.txt", "bm/nul", "CON", "bm/aux.dat", "bm/com1.log", "LPT1/x.txt",
                           "bm/data./x.txt", "bm/x.txt ", "bm/tab\there.txt", "bm/a?.txt"}) {
    EXPECT_EQ(Run({{"first.txt", "written"}, {evil, "payload"}, {"after.txt", "not"}}), 0) << evil;
    EXPECT_EQ(Read(L"first.txt"), "written") << evil;
    EXPECT_FALSE(PathExists(client_ + L"\\after.txt")) << evil;
  }
  // A NUL inside the stored name would cut it short of what was checked.
  const char cut[] = "bm/a.txt\0/../../../evil.txt";
  EXPECT_EQ(Run({{std::string(cut, sizeof cut - 1), "payload"}}), 0);
  EXPECT_FALSE(PathExists(client_ + L"\\bm\\a.txt"));
}

TEST_F(Extract, SpellingsOfOneFileLandInArchiveOrder) {
  // Each pair names one file twice, the first time with a large entry (slow
  // to write) and then with a small one: the second must win.
  std::vector<TestZipEntry> entries;
  const std::string large(300 * 1024, 'o');
  for (int i = 0; i < 24; ++i) {
    std::string n = std::to_string(i);
    std::string first = "d" + n + "/\xc3\x84\xce\xa3" + n + ".txt";   // Ä Σ
    std::string second = i % 3 == 0   ? "D" + n + "\\\xc3\xa4\xcf\x83" + n + ".TXT"  // ä σ
                         : i % 3 == 1 ? "./d" + n + "/\xc3\xa4\xce\xa3" + n + ".txt"
                                      : "d" + n + "//\xc3\x84\xcf\x83" + n + ".txt";
    entries.push_back({first, large, true});
    entries.push_back({second, "new " + n, true});
  }
  ASSERT_EQ(Run(entries), 1);
  for (int i = 0; i < 24; ++i) {
    std::wstring n = std::to_wstring(i);
    EXPECT_EQ(Read(L"d" + n + L"\\\u00c4\u03a3" + n + L".txt"), "new " + std::to_string(i)) << i;
  }
}

TEST_F(Extract, NoVersionFileStandsOverAClientWhoseFilesAreChanging) {
  // Removed before the first write: an extraction that stops half way
  // leaves no version that the next start would take as current.
  PlantVersion("1.0.0.0");
  EXPECT_EQ(Run({{"first.txt", "written"}, {"bad.txt", "tampered", false, true}}), 0);
  EXPECT_EQ(Read(L"first.txt"), "written");
  EXPECT_FALSE(PathExists(client_ + L"\\game_client_version.txt"));
  // A read-only one too; a complete extraction leaves none either (the
  // worker writes the new one after it).
  WriteTestFile(client_ + L"\\game_client_version.txt", "1.0.0.0", FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(Run({{"first.txt", "again"}}), 1);
  EXPECT_FALSE(PathExists(client_ + L"\\game_client_version.txt"));
  EXPECT_EQ(Read(L"first.txt"), "again");

  // No entry may stand for it, as a file or as a folder in its way.
  for (const char* marker : {"game_client_version.txt", "GAME_CLIENT_VERSION.TXT",
                             "./game_client_version.txt", "game_client_version.txt/",
                             "Game_Client_Version.txt/x.txt"}) {
    PlantVersion("1.0.0.0");
    EXPECT_EQ(Run({{"first.txt", "would be written"}, {marker, "99.0.0.0"}}), 0) << marker;
    EXPECT_EQ(Version(), "1.0.0.0") << marker;
    EXPECT_EQ(Read(L"first.txt"), "again") << marker;
  }
  ASSERT_EQ(Run({{"bm/game_client_version.txt", "a file of the game's own"}}), 1);
}

TEST(VersionFile, IsReplacedWholeAndLeavesNothingBeside) {
  std::wstring dir = testing_support::TempPath(L"tov-version-" + std::to_wstring(GetCurrentProcessId()));
  CreateDirectoryW(dir.c_str(), nullptr);
  std::wstring marker = dir + L"\\game_client_version.txt";
  EXPECT_TRUE(RemoveVersionFile(dir));  // none there: nothing to do
  ASSERT_TRUE(WriteVersionFile(dir, "1.0.0.1"));
  EXPECT_EQ(ReadFileBytes(marker), "1.0.0.1");
  ASSERT_TRUE(WriteVersionFile(dir, "1.0.0.2\r"));  // bytes as they are
  EXPECT_EQ(ReadFileBytes(marker), "1.0.0.2\r");
  EXPECT_FALSE(PathExists(marker + L".new"));
  ASSERT_TRUE(RemoveVersionFile(dir));
  EXPECT_FALSE(PathExists(marker));
  EXPECT_FALSE(PathExists(marker + L".old"));
  // A folder that cannot take the file: no marker, and no leftover.
  EXPECT_FALSE(WriteVersionFile(dir + L"\\missing", "1.0.0.1"));
  EXPECT_FALSE(PathExists(dir + L"\\missing"));
  RemoveDirectoryW(dir.c_str());
}

TEST_F(Extract, TooLittleRoomFailsBeforeAnythingIsWritten) {
  PlantVersion("1.0.0.0");
  std::vector<TestZipEntry> entries = {{"bm/", ""}, {"bm/a.bin", std::string(4000, 'a')},
                                       {"bm/b.bin", std::string(1500 * 1024, 'b')}};
  const uint64_t need = 4000 + 1500 * 1024;
  std::vector<std::wstring> asked;
  // Beside what it unpacks, an extraction leaves 1 GiB or 5 % of the
  // volume free, whichever is more.
  auto room = [&](uint64_t free, uint64_t volume = 0) {
    return [&asked, free, volume](const std::wstring& folder, uint64_t* out, uint64_t* size) {
      asked.push_back(folder);
      *out = free;
      *size = volume;
      return true;
    };
  };
  const uint64_t kGiB = 1ull << 30;
  EXPECT_EQ(Run(entries, room(need - 1)), 0);
  EXPECT_EQ(asked, std::vector<std::wstring>{client_});
  EXPECT_EQ(Run(entries, room(need + 5 * kGiB - 1, 100 * kGiB)), 0);
  EXPECT_FALSE(PathExists(client_ + L"\\bm"));
  EXPECT_EQ(Version(), "1.0.0.0");
  // Just enough is enough; a figure that cannot be had stops nothing.
  EXPECT_EQ(Run(entries, room(need + kGiB)), 1);
  EXPECT_EQ(Read(L"bm\\a.bin"), std::string(4000, 'a'));
  EXPECT_EQ(Run(entries, [](const std::wstring&, uint64_t*, uint64_t*) { return false; }), 1);
}

TEST(FreeSpaceProbe, TheVolumeFigureIsSaneForFoldersThatDoNotExistYet) {
  std::wstring temp = testing_support::TempPath(L"");
  uint64_t free = 0, below = 0;
  ULARGE_INTEGER total{};
  ASSERT_TRUE(VolumeFreeSpace(temp, &free));
  ASSERT_TRUE(GetDiskFreeSpaceExW(temp.c_str(), nullptr, &total, nullptr));
  EXPECT_GT(free, 0u);
  EXPECT_LE(free, total.QuadPart);
  // Asked of the nearest folder that exists; the figure moves only by what
  // others write meanwhile.
  ASSERT_TRUE(VolumeFreeSpace(temp + L"tov-no-such\\client\\deeper", &below));
  EXPECT_LT(below > free ? below - free : free - below, uint64_t(512) << 20);
  // A drive that is not there has no figure.
  wchar_t missing[] = L"A:\\";
  for (wchar_t d = L'Z'; d > L'C'; --d) {
    missing[0] = d;
    if (GetDriveTypeW(missing) == DRIVE_NO_ROOT_DIR) break;
  }
  ASSERT_EQ(GetDriveTypeW(missing), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
  EXPECT_FALSE(VolumeFreeSpace(std::wstring(missing) + L"bm-chan\\client", &below));
}

TEST(FlushBehindWriters, EveryFileIsFlushedAndClosedAndAFailedFlushIsReported) {
  std::wstring base = testing_support::TempPath(L"tov-flush-" + std::to_wstring(GetCurrentProcessId()));
  std::vector<std::wstring> paths;
  {
    FlushBehind flusher(3, 4);  // fewer waiting places than files
    for (int i = 0; i < 40; ++i) {
      paths.push_back(base + L"-" + std::to_wstring(i));
      tov::UniqueHandleK file(CreateFileW(paths.back().c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, 0, nullptr));
      ASSERT_TRUE(file);
      DWORD n = 0;
      ASSERT_TRUE(WriteFile(file.get(), "data", 4, &n, nullptr));
      flusher.Hand(std::move(file), paths.back());
    }
    EXPECT_TRUE(flusher.Finish());
    EXPECT_EQ(flusher.FailedTarget(), L"");
    // A handle that may not write cannot be flushed.
    tov::UniqueHandleK readOnly(CreateFileW(paths[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(readOnly);
    flusher.Hand(std::move(readOnly), L"read-only");
    EXPECT_FALSE(flusher.Finish());
    EXPECT_EQ(flusher.FailedTarget(), L"read-only");
  }
  // Closed: each opens again without sharing, and is whole.
  for (const std::wstring& path : paths) {
    EXPECT_EQ(ReadFileBytes(path), "data");
    tov::UniqueHandleK again(CreateFileW(path.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    EXPECT_TRUE(again);
  }
}
