#include "provisioning/desktop_integration.h"

#include <gtest/gtest.h>

namespace tov {

TEST(UninstallString, QuotesTheLauncherOnlyWhenItHoldsABlank) {
  EXPECT_EQ(UninstallString(L"C:\\bm-chan", L"Halvard"),
            L"C:\\bm-chan\\Halvard.exe /uninstall");
  EXPECT_EQ(UninstallString(L"E:\\My Games\\bm-chan", L"Halvard"),
            L"\"E:\\My Games\\bm-chan\\Halvard.exe\" /uninstall");
  // A blank in the title matters just as much as one in the folder.
  EXPECT_EQ(UninstallString(L"C:\\bm-chan", L"Hal vard"),
            L"\"C:\\bm-chan\\Hal vard.exe\" /uninstall");
}

TEST(UninstallEntry, FourTextsInWritingOrder) {
  const auto values = UninstallEntryValues(L"D:\\x y\\bm-chan", L"Halvard", L"3.1.4.1");
  ASSERT_EQ(values.size(), 4u);
  EXPECT_EQ(values[0].name, L"DisplayIcon");
  // The icon is a plain path, never quoted.
  EXPECT_EQ(values[0].data, L"D:\\x y\\bm-chan\\Halvard.exe");
  EXPECT_EQ(values[1].name, L"DisplayName");
  EXPECT_EQ(values[1].data, L"Halvard");
  EXPECT_EQ(values[2].name, L"DisplayVersion");
  EXPECT_EQ(values[2].data, L"3.1.4.1");
  EXPECT_EQ(values[3].name, L"UninstallString");
  EXPECT_EQ(values[3].data, L"\"D:\\x y\\bm-chan\\Halvard.exe\" /uninstall");
}

TEST(ShortcutTable, FourLinksInOrderWithTheirFoldersAndArguments) {
  const auto links = ShortcutTable(L"C:\\SM", L"C:\\Desk", L"C:\\bm-chan", L"Halvard", L"chan");
  ASSERT_EQ(links.size(), 4u);
  const std::wstring uninstallName = L"Halvard-\u5378\u8f7d";

  const struct {
    LinkPlace place;
    std::wstring folder, name, arguments;
  } expected[] = {{LinkPlace::StartMenu, L"C:\\SM\\Apps\\chan", L"Halvard", L""},
                  {LinkPlace::StartMenu, L"C:\\SM\\Apps\\chan", uninstallName, L"/uninstall"},
                  {LinkPlace::Desktop, L"C:\\Desk", L"Halvard", L""},
                  {LinkPlace::InstallRoot, L"C:\\bm-chan", uninstallName, L"/uninstall"}};
  for (size_t i = 0; i < links.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(links[i].place, expected[i].place);
    EXPECT_EQ(links[i].folder, expected[i].folder);
    EXPECT_EQ(links[i].name, expected[i].name);
    EXPECT_EQ(links[i].arguments, expected[i].arguments);
  }

  EXPECT_EQ(LinkPath(links[3].folder, links[3].name),
            L"C:\\bm-chan\\Halvard-\u5378\u8f7d.lnk");
}

TEST(FailureTexts, SignedDecimalNumbers) {
  // E_ACCESSDENIED with ERROR_ACCESS_DENIED, as a failed save reports them.
  EXPECT_EQ(CreateLinkErrorText(5, static_cast<long>(0x80070005L)),
            L"CreateLink ret:5 hRes:-2147024891");
  EXPECT_EQ(CreateLinkErrorText(0, 0), L"CreateLink ret:0 hRes:0");
  EXPECT_EQ(SetRegistiesErrorText(1021, 0), L"SetRegisties lret:1021 error:0");
  EXPECT_EQ(SetRegistiesErrorText(5, 0xFFFFFFFFul), L"SetRegisties lret:5 error:-1");
  EXPECT_EQ(ShellFolderErrorText(0x10, 2), L"CreateShortcuts folder csidl:16 error:2");
}

}  // namespace tov
