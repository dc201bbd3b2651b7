// The shell links and the uninstall entry, written through the real shell
// and registry and read back.
//
// Everything these tests write stays below one folder and one registry key:
// HKEY_CURRENT_USER is redirected to a key of the tests' own, and with it
// the user's shell folders, so the prefix's real Start menu and desktop
// (which Wine links to the host's home) are never touched. When
// TOV_DESKTOP_TEST_DIR (a folder) and TOV_DESKTOP_TEST_KEY (a key name below
// HKCU\Software\TovTests) are set, both are used as given and kept for an
// outside reader (tests/e2e/test_desktop_links.py).
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/app_state.h"
#include "base/launcher_log.h"
#include "base/launcher_settings.h"
#include "base/text_win.h"
#include "base/com_ptr.h"
#include "base/unique_handle.h"
#include "base/utf8.h"
#include "provisioning/desktop_integration.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const wchar_t* const kShellFoldersKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t* const kUninstallParent = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring kTitle = LauncherSettings::GameTitle;
const std::wstring kChannel = LauncherSettings::ChannelName;
const std::wstring kUninstallName = kTitle + L"-\u5378\u8f7d";

// `text` after a round trip through the ANSI code page.
std::wstring AnsiForm(const std::wstring& text) {
  return AnsiToWide(WideToAnsi(text));
}

std::wstring Env(const wchar_t* name) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer) : std::wstring();
}

using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::WriteTestFile;

// The redirected HKEY_CURRENT_USER and the folder, shared by all tests.
class Sandbox : public ::testing::Environment {
 public:
  static inline std::wstring root;
  static inline std::wstring keyPath;  // below the real HKCU
  static inline bool keep = false;
  static inline HKEY userKey = nullptr;  // the key that stands in for HKCU
  static inline std::wstring logPath;

  void SetUp() override {
    const std::wstring keptDir = Env(L"TOV_DESKTOP_TEST_DIR");
    const std::wstring keptKey = Env(L"TOV_DESKTOP_TEST_KEY");
    keep = !keptDir.empty() && !keptKey.empty();
    const std::wstring id = std::to_wstring(GetCurrentProcessId());
    root = keep ? keptDir : fs::temp_directory_path().wstring() + L"tov-desktop-" + id;
    keyPath = L"Software\\TovTests\\" + (keep ? keptKey : L"desktop-" + id);
    fs::create_directories(root);

    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &userKey, nullptr) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_CURRENT_USER, userKey) != ERROR_SUCCESS || !Redirected()) {
      // Going on would write into the prefix's own user settings.
      std::fprintf(stderr, "HKEY_CURRENT_USER cannot be redirected; no test runs\n");
      std::fflush(stderr);
      ExitProcess(3);
    }

    CoInitialize(nullptr);
    // The log opens on first use in InstallRoot: keep it in the sandbox's
    // top folder whatever InstallRoot the tests set later.
    AppState& app = GetAppState();
    app.appName = L"desktop_integration_test";
    app.installRoot = root;
    logPath = root + L"\\desktop_integration_test.log";
    LOG_INFO(L"sandbox " + root, "DesktopTest::Sandbox");
  }

  void TearDown() override {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(userKey);
    GetLauncherLog().CloseFile();
    if (keep) return;
    RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

 private:
  // A value written through HKEY_CURRENT_USER must arrive in our own key.
  static bool Redirected() {
    const DWORD marker = GetCurrentProcessId();
    if (RegSetKeyValueW(HKEY_CURRENT_USER, nullptr, L"sandbox", REG_DWORD, &marker,
                        sizeof marker) != ERROR_SUCCESS)
      return false;
    DWORD seen = 0;
    DWORD size = sizeof seen;
    return RegGetValueW(userKey, nullptr, L"sandbox", RRF_RT_REG_DWORD, nullptr, &seen, &size) ==
               ERROR_SUCCESS &&
           seen == marker;
  }
};
const auto* const kSandbox = ::testing::AddGlobalTestEnvironment(new Sandbox);

struct LogLine {
  std::wstring level;
  std::wstring op;
  std::wstring message;
  bool operator==(const LogLine& o) const {
    return level == o.level && op == o.op && message == o.message;
  }
};
void PrintTo(const LogLine& line, std::ostream* os) {
  *os << tov::WideToUtf8(L"[" + line.level + L"][" + line.op + L"] " + line.message);
}

LogLine Info(const std::wstring& op, const std::wstring& message) {
  return {L"INFO", L"CGameRemoteConfig::" + op, message};
}

// "[stamp][INFO][op::line] message" and "[stamp][ERROR][op::line][message]".
std::vector<LogLine> ParseLog(const std::wstring& text) {
  std::vector<LogLine> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(L"\r\n", pos);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring raw = text.substr(pos, end - pos);
    pos = end + 2;
    for (const std::wstring level : {L"INFO", L"ERROR"}) {
      const std::wstring tag = L"][" + level + L"][";
      const size_t at = raw.find(tag);
      if (at == std::wstring::npos) continue;
      const size_t opStart = at + tag.size();
      const size_t opEnd = raw.find(L']', opStart);
      const std::wstring opLine = raw.substr(opStart, opEnd - opStart);
      // An error's message stands in brackets of its own.
      const size_t length = level == L"INFO" ? std::wstring::npos : raw.size() - opEnd - 3;
      lines.push_back({level, opLine.substr(0, opLine.rfind(L"::")), raw.substr(opEnd + 2, length)});
      break;
    }
  }
  return lines;
}

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    caseDir = Sandbox::root + L"\\" + DecodeText(info->name(), CP_UTF8);
    // An outside reader owns the kept folder: a second run must find the
    // first run's links.
    if (!Sandbox::keep) {
      std::error_code ignored;
      fs::remove_all(caseDir, ignored);
    }
    startMenu = caseDir + L"\\StartMenu";
    desktop = caseDir + L"\\Desktop";
    fs::create_directories(startMenu);
    fs::create_directories(desktop);
    UseInstallRoot(caseDir + L"\\bm-" + kChannel);
    SetShellFolder(L"Start Menu", startMenu);
    SetShellFolder(L"Desktop", desktop);
    RegDeleteTreeW(Sandbox::userKey, kUninstallParent);
    logStart = ReadFileBytes(Sandbox::logPath).size();
  }

  void UseInstallRoot(const std::wstring& path) {
    installRoot = path;
    launcher = path + L"\\" + kTitle + L".exe";
    fs::create_directories(path);
    WriteTestFile(launcher, "MZ");
    GetAppState().installRoot = path;
  }

  static void SetShellFolder(const wchar_t* name, const std::wstring& path) {
    ASSERT_EQ(RegSetKeyValueW(Sandbox::userKey, kShellFoldersKey, name, REG_SZ, path.c_str(),
                              static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }

  std::vector<LogLine> NewLogLines() const {
    return ParseLog(DecodeText(ReadFileBytes(Sandbox::logPath, logStart), CP_UTF8));
  }

  std::wstring MenuFolder() const { return startMenu + L"\\Apps\\" + kChannel; }

  // The four links CreateShortcuts writes, in its order, with their arguments.
  std::vector<std::pair<std::wstring, std::wstring>> FourLinks() const {
    return {{MenuFolder() + L"\\" + kTitle + L".lnk", L""},
            {MenuFolder() + L"\\" + kUninstallName + L".lnk", L"/uninstall"},
            {desktop + L"\\" + kTitle + L".lnk", L""},
            {installRoot + L"\\" + kUninstallName + L".lnk", L"/uninstall"}};
  }

  void ExpectLink(const std::wstring& file, const std::wstring& arguments) const {
    SCOPED_TRACE(tov::WideToUtf8(file));
    tov::ComPtr<IShellLinkW> link;
    ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()),
              S_OK);
    tov::ComPtr<IPersistFile> persist = link.as<IPersistFile>(IID_IPersistFile);
    ASSERT_TRUE(persist);
    ASSERT_EQ(persist->Load(file.c_str(), STGM_READ), S_OK);
    // Each text read into a cleared buffer, so a getter that writes nothing reads back empty.
    auto text = [](const auto& get) {
      wchar_t buffer[1024] = {};
      get(buffer);
      return std::wstring(buffer);
    };
    const std::wstring path =
        text([&](wchar_t* t) { link->GetPath(t, MAX_PATH, nullptr, SLGP_RAWPATH); });
    // Wine keeps a link's target only in the ANSI code page, so a title
    // outside it reads back with '?' there; Windows keeps it whole.
    EXPECT_TRUE(path == launcher || path == AnsiForm(launcher))
        << tov::WideToUtf8(path) << " for " << tov::WideToUtf8(launcher);
    EXPECT_EQ(text([&](wchar_t* t) { link->GetArguments(t, 1024); }), arguments);
    // Nothing but the target and the arguments is set.
    EXPECT_EQ(text([&](wchar_t* t) { link->GetWorkingDirectory(t, MAX_PATH); }), L"");
    EXPECT_EQ(text([&](wchar_t* t) { link->GetDescription(t, 1024); }), L"");
    int iconIndex = -1;
    EXPECT_EQ(text([&](wchar_t* t) { link->GetIconLocation(t, MAX_PATH, &iconIndex); }), L"");
    WORD hotkey = 0xFFFF;
    link->GetHotkey(&hotkey);
    EXPECT_EQ(hotkey, 0);
    int showCommand = 0;
    link->GetShowCmd(&showCommand);
    EXPECT_EQ(showCommand, SW_SHOWNORMAL);
  }

  // The lines of one CreateShortcut call that succeeds.
  static std::vector<LogLine> GoodShortcutLines(const std::wstring& folder,
                                                const std::wstring& arguments) {
    return {Info(L"CreateShortcut", L"Begin CreateShortcut"), Info(L"CreateShortcut", folder),
            Info(L"CreateShortcut", arguments), Info(L"CreateLink", L"Begin CreateLink"),
            Info(L"CreateLink", L"End CreateLink"), Info(L"CreateShortcut", L"End CreateShortcut")};
  }

  std::wstring caseDir, startMenu, desktop, installRoot, launcher;
  unsigned long long logStart = 0;
};

// The two numbers of an ERROR line of `op` whose whole message matches
// `pattern` (two groups); a line of another shape fails the test.
std::array<long long, 2> ErrorNumbers(const LogLine& line, const std::wstring& op, const wchar_t* pattern) {
  EXPECT_EQ(line.level, L"ERROR");
  EXPECT_EQ(line.op, L"CGameRemoteConfig::" + op);
  std::wsmatch numbers;
  if (!std::regex_match(line.message, numbers, std::wregex(pattern))) {
    ADD_FAILURE() << "unexpected message " << tov::WideToUtf8(line.message);
    return {};
  }
  return {std::stoll(numbers[1].str()), std::stoll(numbers[2].str())};
}

// A failed save logs "CreateLink ret:<n> hRes:<negative n>".
void ExpectSaveFailure(const LogLine& line) {
  EXPECT_LT(ErrorNumbers(line, L"CreateLink", L"CreateLink ret:(-?\\d+) hRes:(-?\\d+)")[1], 0);
}

using DesktopLinks = DesktopTest;
using UninstallEntry = DesktopTest;

TEST_F(DesktopLinks, FourLinksPointAtTheInstalledLauncher) {
  // The Start menu has no "Apps" folder yet.
  if (!Sandbox::keep) {
    ASSERT_FALSE(PathExists(startMenu + L"\\Apps"));
  }
  tov::CreateShortcuts();

  std::vector<LogLine> expected{Info(L"CreateShortcuts", L"Begin CreateShortcuts")};
  for (const auto& [file, arguments] : FourLinks()) {
    ExpectLink(file, arguments);
    const auto lines = GoodShortcutLines(file.substr(0, file.rfind(L'\\')), arguments);
    expected.insert(expected.end(), lines.begin(), lines.end());
  }
  expected.push_back(Info(L"CreateShortcuts", L"End CreateShortcuts"));
  EXPECT_EQ(NewLogLines(), expected);
}

TEST_F(DesktopLinks, ASecondRunReplacesWhateverIsThere) {
  const auto links = FourLinks();
  tov::CreateShortcuts();
  // Old links spoilt, one of them hidden: a save over a hidden file fails
  // where a fresh file succeeds, so only a deleted link comes back.
  for (const auto& link : links) WriteTestFile(link.first, "not a link");
  SetFileAttributesW(links[2].first.c_str(), FILE_ATTRIBUTE_HIDDEN);
  tov::CreateShortcuts();
  for (const auto& link : links) ExpectLink(link.first, link.second);
  EXPECT_FALSE(GetFileAttributesW(links[2].first.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  for (const LogLine& line : NewLogLines()) EXPECT_NE(line.level, L"ERROR");
}

TEST_F(DesktopLinks, AFolderThatCannotBeMadeCostsOnlyItsLinks) {
  // A file where the "Apps" folder should be.
  WriteTestFile(startMenu + L"\\Apps", "in the way");
  tov::CreateShortcuts();

  EXPECT_FALSE(PathExists(MenuFolder()));
  ExpectLink(desktop + L"\\" + kTitle + L".lnk", L"");
  ExpectLink(installRoot + L"\\" + kUninstallName + L".lnk", L"/uninstall");

  std::vector<LogLine> errors;
  for (const LogLine& line : NewLogLines()) {
    if (line.level == L"ERROR") errors.push_back(line);
  }
  ASSERT_EQ(errors.size(), 2u);
  for (const LogLine& line : errors) ExpectSaveFailure(line);
}

TEST_F(DesktopLinks, AMissingShellFolderWritesNothingAtTheDriveRoot) {
  // The shell cannot name a user folder that does not exist. Its links
  // would otherwise go to "\Apps\<channel>" and "\<title>.lnk" of the
  // current drive.
  SetShellFolder(L"Start Menu", caseDir + L"\\NoStartMenu");
  SetShellFolder(L"Desktop", caseDir + L"\\NoDesktop");
  wchar_t saved[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryW(caseDir.c_str()));
  const std::wstring driveRoot = caseDir.substr(0, 3);
  const bool appsThereBefore = PathExists(driveRoot + L"Apps\\" + kChannel);
  const bool linkThereBefore = PathExists(driveRoot + kTitle + L".lnk");

  tov::CreateShortcuts();
  SetCurrentDirectoryW(saved);

  EXPECT_EQ(PathExists(driveRoot + L"Apps\\" + kChannel), appsThereBefore);
  EXPECT_EQ(PathExists(driveRoot + kTitle + L".lnk"), linkThereBefore);
  // Tidy up after a failure, so the next run starts clean.
  std::error_code ignored;
  if (!appsThereBefore) fs::remove_all(driveRoot + L"Apps\\" + kChannel, ignored);
  if (!appsThereBefore) RemoveDirectoryW((driveRoot + L"Apps").c_str());
  if (!linkThereBefore) DeleteFileW((driveRoot + kTitle + L".lnk").c_str());
  EXPECT_FALSE(PathExists(caseDir + L"\\NoStartMenu"));
  EXPECT_FALSE(PathExists(caseDir + L"\\NoDesktop"));
  ExpectLink(installRoot + L"\\" + kUninstallName + L".lnk", L"/uninstall");

  const std::vector<LogLine> lines = NewLogLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], Info(L"CreateShortcuts", L"Begin CreateShortcuts"));
  for (const auto& [at, folder] : {std::pair{1, CSIDL_STARTMENU}, {2, CSIDL_DESKTOPDIRECTORY}}) {
    SCOPED_TRACE(at);
    const wchar_t* pattern = L"CreateShortcuts folder csidl:(\\d+) error:(\\d+)";
    EXPECT_EQ(ErrorNumbers(lines[at], L"CreateShortcuts", pattern)[0], folder);
  }
  std::vector<LogLine> rest(lines.begin() + 3, lines.end());
  std::vector<LogLine> expected = GoodShortcutLines(installRoot, L"/uninstall");
  expected.push_back(Info(L"CreateShortcuts", L"End CreateShortcuts"));
  EXPECT_EQ(rest, expected);
}

TEST_F(DesktopLinks, AFailedSaveLogsTheSystemCodes) {
  const std::wstring inMissingFolder = caseDir + L"\\missing\\x.lnk";
  tov::CreateLink(launcher, inMissingFolder, L"");
  EXPECT_FALSE(PathExists(inMissingFolder));
  const std::vector<LogLine> lines = NewLogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], Info(L"CreateLink", L"Begin CreateLink"));
  ExpectSaveFailure(lines[1]);
}

TEST_F(DesktopLinks, LeavesACallersComApartmentAsItWas) {
  // A worker that already runs COM multithreaded: CoInitialize refuses, and
  // undoing it anyway would end the caller's own COM.
  HRESULT again = E_FAIL;
  std::thread worker([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    tov::CreateShortcuts();
    again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: still initialised
    CoUninitialize();
    if (again == S_FALSE) CoUninitialize();
  });
  worker.join();
  EXPECT_EQ(again, S_FALSE);
  ExpectLink(desktop + L"\\" + kTitle + L".lnk", L"");
}

// The entry's value `name` is `text` as REG_SZ with its terminating NUL,
// nothing more.
void ExpectText(const wchar_t* name, const std::wstring& text) {
  SCOPED_TRACE(tov::WideToUtf8(name));
  tov::UniqueRegKey key;
  ASSERT_EQ(RegOpenKeyExW(Sandbox::userKey, tov::kUninstallKeyPath, 0, KEY_READ, key.put()), ERROR_SUCCESS);
  std::vector<wchar_t> data(1024);
  DWORD type = 0;
  DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  ASSERT_EQ(RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, (text.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(std::wstring(data.data(), bytes / sizeof(wchar_t)), text + L'\0');
}

TEST_F(UninstallEntry, WritesFourTextValuesOverWhatWasThere) {
  // Left by an older launcher: another version and a value of another type.
  const DWORD number = 7;
  ASSERT_EQ(RegSetKeyValueW(Sandbox::userKey, tov::kUninstallKeyPath, L"DisplayVersion", REG_DWORD,
                            &number, sizeof number),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetKeyValueW(Sandbox::userKey, tov::kUninstallKeyPath, L"DisplayName", REG_SZ,
                            L"old", 8),
            ERROR_SUCCESS);
  tov::SetRegisties();

  ExpectText(L"DisplayIcon", launcher);
  ExpectText(L"DisplayName", kTitle);
  // The launcher's own version, not the game client's.
  ExpectText(L"DisplayVersion", LauncherSettings::LauncherVersion);
  // Quoted only when the path holds a blank (a title may).
  ExpectText(L"UninstallString", launcher.find(L' ') == std::wstring::npos
                                     ? launcher + L" /uninstall"
                                     : L"\"" + launcher + L"\" /uninstall");
  EXPECT_EQ(NewLogLines(), std::vector<LogLine>{});
}

TEST_F(UninstallEntry, QuotesTheCommandOnlyWhenTheFolderHasABlank) {
  UseInstallRoot(caseDir + L"\\bm " + kChannel);
  tov::SetRegisties();
  ExpectText(L"DisplayIcon", launcher);
  ExpectText(L"UninstallString", L"\"" + launcher + L"\" /uninstall");
}

TEST_F(UninstallEntry, AKeyThatCannotBeMadeIsLoggedAndNothingWritten) {
  // A volatile parent cannot hold the lasting key.
  tov::UniqueRegKey parent;
  ASSERT_EQ(RegCreateKeyExW(Sandbox::userKey, kUninstallParent, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, parent.put(), nullptr),
            ERROR_SUCCESS);
  tov::SetRegisties();

  tov::UniqueRegKey entry;
  EXPECT_NE(RegOpenKeyExW(Sandbox::userKey, tov::kUninstallKeyPath, 0, KEY_READ, entry.put()),
            ERROR_SUCCESS);
  const std::vector<LogLine> lines = NewLogLines();
  ASSERT_EQ(lines.size(), 1u);
  const wchar_t* pattern = L"SetRegisties lret:(-?\\d+) error:(-?\\d+)";
  EXPECT_EQ(ErrorNumbers(lines[0], L"SetRegisties", pattern)[0], ERROR_CHILD_MUST_BE_VOLATILE);
}

}  // namespace
