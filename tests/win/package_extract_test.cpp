// Unpacking packages into the client directory, good ones and hostile ones.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "provisioning/package_extract.h"
#include "zip_writer.h"

namespace {

class Extract : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    root_ = std::wstring(tmp) + L"tov-unzip-\u5305-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(counter_++);
    CreateDirectoryW(root_.c_str(), nullptr);
    client_ = root_ + L"\\client";
    CreateDirectoryW(client_.c_str(), nullptr);
  }
  void TearDown() override { RemoveTree(root_); }

  static void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring path = dir + L"\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
        else DeleteFileW(path.c_str());
      } while (FindNextFileW(h, &fd));
      FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
  }

  std::wstring Write(const std::string& bytes) {
    std::wstring path = root_ + L"\\bm.zip";
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(h);
    return path;
  }

  int Run(const std::vector<TestZipEntry>& entries) {
    steps_.clear();
    return ExtractPackage(Write(BuildTestZip(entries)), client_,
                          [this](const std::wstring& t, int p) { steps_.emplace_back(t, p); });
  }

  std::string Read(const std::wstring& relative) {
    HANDLE h = CreateFileW((client_ + L"\\" + relative).c_str(), GENERIC_READ, FILE_SHARE_READ,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out;
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    CloseHandle(h);
    return out;
  }

  bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

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
    for (wchar_t& c : name) {
      if (c == L'/') c = L'\\';
    }
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
  EXPECT_FALSE(Exists(client_ + L"\\after.txt"));
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
    EXPECT_FALSE(Exists(root_ + L"\\evil.txt")) << evil;
  }
}

TEST_F(Extract, ChecksumMismatchAndUndecodableDataFail) {
  EXPECT_EQ(Run({{"good.txt", "fine"}, {"bad.txt", "tampered", false, true}}), 0);
  EXPECT_EQ(Read(L"good.txt"), "fine");
  EXPECT_EQ(Run({{"broken.bin", std::string("\xff\xfe\xfd garbage", 11), false, false, true}}), 0);
  // The reader compares no checksum for data that ends before its declared
  // size, nor for bzip2 data, which it hands out still compressed.
  EXPECT_EQ(Run({{"short.bin", "tampered", false, true, false, 0, 10}}), 0);
  EXPECT_EQ(Run({{"bz.bin", "BZh91AY&SY", false, true, false, 12}}), 0);
  EXPECT_EQ(Run({{"bz.bin", "BZh91AY&SY", false, false, false, 12}}), 0);
}

TEST_F(Extract, OverlongNamesAndPathsAreRefusedNotCut) {
  EXPECT_EQ(Run({{std::string(512, 'n'), "x"}}), 0);
  std::string deep;
  while (client_.size() + deep.size() < 270) deep += "abcdefghij/";
  EXPECT_EQ(Run({{deep + "f.txt", "x"}}), 0);
}

TEST_F(Extract, SomethingThatIsNoArchiveFails) {
  EXPECT_EQ(ExtractPackage(Write("this is not a zip archive"), client_, nullptr), 0);
  EXPECT_EQ(ExtractPackage(root_ + L"\\missing.zip", client_, nullptr), 0);
}
