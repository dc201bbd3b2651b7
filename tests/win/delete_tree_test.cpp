// Removal of directory trees for the uninstaller, on the real file system.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/app_state.h"
#include "app/delete_tree_win.h"
#include "base/launcher_log.h"
#include "base/unique_handle.h"
#include "base/utf8.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using testing_support::PathExists;

bool IsLink(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void MakeFile(const std::wstring& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  testing_support::WriteTestFile(path, "data", attributes);
}

void MakeDir(const std::wstring& path) { fs::create_directories(path); }

// Makes each path below `root` with the folders above it: a folder where
// the path ends in a backslash, a file otherwise.
void Make(const std::wstring& root, std::initializer_list<std::wstring> paths) {
  for (const std::wstring& path : paths) {
    const std::wstring full = root + L"\\" + path;
    MakeDir(full.substr(0, full.rfind(L'\\')));
    if (path.back() != L'\\') MakeFile(full);
  }
}

bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::string UnixPath(const std::wstring& path) {
  using ToUnix = char*(CDECL*)(LPCWSTR);
  auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return {};
  char* unix = toUnix(path.c_str());
  if (!unix) return {};
  std::string out = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

std::wstring Quoted(const std::string& unixPath) {
  std::wstring out = L"\"";
  for (char c : unixPath) out += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return out + L"\"";
}

// Starts a Unix program; Wine starts those like Windows programs, but the
// handle it gives back does not wait for the program's end.
void RunUnix(std::wstring command) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return;
  tov::UniqueHandleK processHandle(process.hProcess);
  tov::UniqueHandleK threadHandle(process.hThread);
  WaitForSingleObject(process.hProcess, 10000);
}

// Wine 8 can make neither junctions (FSCTL_SET_REPARSE_POINT is not
// supported) nor symbolic links (CreateSymbolicLinkW reports success and
// makes nothing), but it shows a Unix symbolic link to a directory as a
// directory with the reparse-point attribute, the way Windows shows a link.
bool MakeUnixLink(const std::wstring& link, const std::wstring& target) {
  const std::string from = UnixPath(target);
  const std::string to = UnixPath(link);
  if (from.empty() || to.empty()) return false;
  RunUnix(L"/bin/ln -s " + Quoted(from) + L" " + Quoted(to));
  return testing_support::WaitFor([&] { return PathExists(link); }, 5000, 50);
}

// A junction: the directory link any user may make on Windows.
bool MakeJunction(const std::wstring& link, const std::wstring& target) {
  if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
  const std::wstring substitute = L"\\??\\" + target;
  const size_t substituteBytes = substitute.size() * sizeof(wchar_t);
  const size_t printBytes = target.size() * sizeof(wchar_t);
  // REPARSE_DATA_BUFFER for a mount point: tag, length, reserved, four
  // offsets and lengths, then both names with their NULs.
  const size_t header = 8;
  const size_t dataBytes = 8 + substituteBytes + 2 + printBytes + 2;
  std::vector<BYTE> buffer(header + dataBytes, 0);
  auto put16 = [&](size_t at, size_t value) {
    const WORD v = static_cast<WORD>(value);
    std::memcpy(&buffer[at], &v, 2);
  };
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  std::memcpy(&buffer[0], &tag, 4);
  put16(4, dataBytes);
  put16(8, 0);
  put16(10, substituteBytes);
  put16(12, substituteBytes + 2);
  put16(14, printBytes);
  std::memcpy(&buffer[16], substitute.c_str(), substituteBytes);
  std::memcpy(&buffer[16 + substituteBytes + 2], target.c_str(), printBytes);

  tov::UniqueHandleK handle(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
  DWORD returned = 0;
  const bool made = handle &&
                    DeviceIoControl(handle.get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                                    static_cast<DWORD>(buffer.size()), nullptr, 0, &returned,
                                    nullptr);
  handle.reset();
  if (!made) RemoveDirectoryW(link.c_str());
  return made && IsLink(link);
}

bool MakeDirectoryLink(const std::wstring& link, const std::wstring& target) {
  return MakeJunction(link, target) ||
         (UnderWine() && MakeUnixLink(link, target) && IsLink(link));
}

class DeleteTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sandbox = fs::temp_directory_path().wstring() + L"tov-delete-" +
              std::to_wstring(GetCurrentProcessId());
    MakeDir(sandbox);
    // The log opens in InstallRoot on first use.
    AppState& app = GetAppState();
    app.appName = L"delete_tree_test";
    app.installRoot = sandbox;
    LOG_INFO(L"sandbox", "DeleteTree::SetUpTestSuite");
  }
  static void TearDownTestSuite() {
    GetLauncherLog().CloseFile();
    if (UnderWine()) {
      // Only Unix can remove the Unix links.
      const std::string unixSandbox = UnixPath(sandbox);
      if (!unixSandbox.empty()) RunUnix(L"/bin/rm -rf " + Quoted(unixSandbox));
      return;
    }
    std::error_code ignored;
    // Links first, so clearing the sandbox never walks into a target.
    for (const std::wstring& link : links) RemoveDirectoryW(link.c_str());
    for (auto& entry : fs::recursive_directory_iterator(sandbox, ignored)) {
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(sandbox, ignored);
  }

  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info->name();
    dir = sandbox + L"\\" + std::wstring(name.begin(), name.end());
    tree = dir + L"\\tree";
    outside = dir + L"\\outside";
    MakeDir(tree);
    Make(outside, {L"keep.txt", L"inner\\keep too.txt"});
  }

  void LinkDirectory(const std::wstring& link, const std::wstring& target) {
    ASSERT_TRUE(MakeDirectoryLink(link, target)) << "no directory link at " << tov::WideToUtf8(link);
    links.push_back(link);
  }

  void ExpectOutsideIntact() {
    EXPECT_TRUE(PathExists(outside + L"\\keep.txt"));
    EXPECT_TRUE(PathExists(outside + L"\\inner\\keep too.txt"));
  }

  static inline std::wstring sandbox;
  static inline std::vector<std::wstring> links;
  std::wstring dir, tree, outside;
};

TEST_F(DeleteTree, RemovesNestedHiddenAndSystemEntries) {
  Make(tree, {L"a\\b\\c\\deep.bin", L"empty\\", L"top.txt", L"a\\no extension", L".dotfile",
              L"hidden dir\\x.y.z"});
  MakeFile(tree + L"\\a\\hidden.txt", FILE_ATTRIBUTE_HIDDEN);
  MakeFile(tree + L"\\a\\b\\system.dat", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW((tree + L"\\hidden dir").c_str(), FILE_ATTRIBUTE_HIDDEN);

  EXPECT_TRUE(tov::DeleteNotNullDir(tree));
  EXPECT_FALSE(PathExists(tree));
  EXPECT_TRUE(PathExists(dir));

  // Every directory it descends into is logged with its path.
  const std::string log = testing_support::ReadFileBytes(sandbox + L"\\delete_tree_test.log");
  for (const std::wstring& path :
       {tree, tree + L"\\a", tree + L"\\a\\b\\c", tree + L"\\hidden dir"}) {
    const std::string line = "[INFO][CWebApp::DeleteNotNullDir::";
    const size_t at = log.find("] " + tov::WideToUtf8(path) + "\r\n");
    ASSERT_NE(at, std::string::npos) << tov::WideToUtf8(path);
    EXPECT_EQ(log.rfind(line, at), log.rfind("[INFO]", at)) << tov::WideToUtf8(path);
  }
}

TEST_F(DeleteTree, AnEntryThatCannotGoKeepsItsDirectoriesAndTheRestGoes) {
  Make(tree, {L"a\\b\\beside.txt", L"other\\deep\\x.txt", L"top.txt"});
  MakeFile(tree + L"\\a\\b\\locked.txt", FILE_ATTRIBUTE_READONLY);

  EXPECT_FALSE(tov::DeleteNotNullDir(tree));
  EXPECT_TRUE(PathExists(tree + L"\\a\\b\\locked.txt"));
  EXPECT_FALSE(PathExists(tree + L"\\a\\b\\beside.txt"));
  EXPECT_FALSE(PathExists(tree + L"\\other"));
  EXPECT_FALSE(PathExists(tree + L"\\top.txt"));

  // Once the file may go, a second pass finishes the job.
  SetFileAttributesW((tree + L"\\a\\b\\locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(tov::DeleteNotNullDir(tree));
  EXPECT_FALSE(PathExists(tree));
}

TEST_F(DeleteTree, AFileInUseKeepsTheTree) {
  MakeFile(tree + L"\\busy.log");
  {
    tov::UniqueHandleK busy(CreateFileW((tree + L"\\busy.log").c_str(), GENERIC_READ,
                                        FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(busy.valid());
    EXPECT_FALSE(tov::DeleteNotNullDir(tree));
    EXPECT_TRUE(PathExists(tree + L"\\busy.log"));
  }
  EXPECT_TRUE(tov::DeleteNotNullDir(tree));
}

TEST_F(DeleteTree, AMissingDirectoryIsNotReportedAsRemoved) {
  EXPECT_FALSE(tov::DeleteNotNullDir(dir + L"\\never there"));
}

// Links inside the tree point outside it; only the links may go. Windows
// removes a link like an empty directory; Wine cannot remove a Unix link
// through any Windows call, so there the link and its directory stay and
// the removal reports failure. Either way nothing outside is touched.
TEST_F(DeleteTree, LinksToOutsideAreNeverFollowed) {
  Make(tree, {L"a\\b\\mine.txt", L"mine.txt"});
  LinkDirectory(tree + L"\\to outside", outside);
  LinkDirectory(tree + L"\\a\\b\\deeper", outside + L"\\inner");

  const BOOL removed = tov::DeleteNotNullDir(tree);

  ExpectOutsideIntact();
  EXPECT_FALSE(PathExists(tree + L"\\mine.txt"));
  EXPECT_FALSE(PathExists(tree + L"\\a\\b\\mine.txt"));
  EXPECT_EQ(removed != FALSE, !PathExists(tree));
  if (UnderWine()) {
    EXPECT_TRUE(IsLink(tree + L"\\to outside"));
    EXPECT_TRUE(IsLink(tree + L"\\a\\b\\deeper"));
  } else {
    EXPECT_TRUE(removed);
  }
}

TEST_F(DeleteTree, ALinkToAnEmptyDirectoryLeavesThatDirectory) {
  MakeDir(outside + L"\\empty");
  LinkDirectory(tree + L"\\to empty", outside + L"\\empty");
  const BOOL removed = tov::DeleteNotNullDir(tree);
  EXPECT_TRUE(PathExists(outside + L"\\empty"));
  EXPECT_FALSE(IsLink(outside + L"\\empty"));
  EXPECT_EQ(removed != FALSE, !PathExists(tree));
  if (!UnderWine()) {
    EXPECT_TRUE(removed);
  }
}

TEST_F(DeleteTree, ATreeThatIsItselfALinkKeepsWhatItPointsAt) {
  const std::wstring link = dir + L"\\client";
  LinkDirectory(link, outside);
  const BOOL removed = tov::DeleteNotNullDir(link);
  ExpectOutsideIntact();
  EXPECT_EQ(removed != FALSE, !PathExists(link));
}

}  // namespace
