#include "base/path_rules.h"

#include <gtest/gtest.h>

namespace tov {

// Each path with its root's length, the folders above it up to the root
// (a free-space probe climbs them) and those a link's folder is created
// from, outermost first; a root is in neither.
TEST(PathRules, RootParentsAndFoldersToCreate) {
  const struct {
    const wchar_t* path;
    size_t root;
    const wchar_t *above, *toCreate;  // each list joined with " | "
  } rows[] = {
      {L"", 0, L"", L""},
      {L"client", 0, L"", L"client"},
      {L"a\\b", 0, L"a", L"a | a\\b"},
      {L"\\", 1, L"", L""},
      {L"\\a", 1, L"\\", L"\\a"},
      {L"C:", 2, L"", L""},
      {L"C:a", 2, L"C:", L"C:a"},
      {L"C:\\", 3, L"", L""},
      {L"C:\\a\\b\\", 3, L"C:\\a | C:\\", L"C:\\a | C:\\a\\b"},
      {L"C:/a//b", 3, L"C:/a | C:/", L"C:/a | C:/a//b"},
      {L"D:/games/bm", 3, L"D:/games | D:/", L"D:/games | D:/games/bm"},
      {L"C:\\bm-chan\\client\\new", 3, L"C:\\bm-chan\\client | C:\\bm-chan | C:\\",
       L"C:\\bm-chan | C:\\bm-chan\\client | C:\\bm-chan\\client\\new"},
      {L"C:\\bm-chan\\\\client\\\\", 3, L"C:\\bm-chan | C:\\", L"C:\\bm-chan | C:\\bm-chan\\\\client"},
      {L"C:\\Users\\me\\Start Menu\\Apps\\chan", 3,
       L"C:\\Users\\me\\Start Menu\\Apps | C:\\Users\\me\\Start Menu | C:\\Users\\me | C:\\Users | C:\\",
       L"C:\\Users | C:\\Users\\me | C:\\Users\\me\\Start Menu | C:\\Users\\me\\Start Menu\\Apps | "
       L"C:\\Users\\me\\Start Menu\\Apps\\chan"},
      {L"\\\\server\\share", 14, L"", L""},
      {L"//server/share/a", 15, L"//server/share/", L"//server/share/a"},
      {L"\\\\server\\share\\a\\b", 15, L"\\\\server\\share\\a | \\\\server\\share\\",
       L"\\\\server\\share\\a | \\\\server\\share\\a\\b"},
      {L"\\\\server\\share\\bm\\client", 15, L"\\\\server\\share\\bm | \\\\server\\share\\",
       L"\\\\server\\share\\bm | \\\\server\\share\\bm\\client"},
      {L"\\\\?\\", 4, L"", L""},
      {L"\\\\?\\C:\\a\\b", 7, L"\\\\?\\C:\\a | \\\\?\\C:\\", L"\\\\?\\C:\\a | \\\\?\\C:\\a\\b"},
      {L"\\\\?\\C:\\bm\\client", 7, L"\\\\?\\C:\\bm | \\\\?\\C:\\", L"\\\\?\\C:\\bm | \\\\?\\C:\\bm\\client"},
      {L"\\\\?\\UNC\\server\\share", 20, L"", L""},
      {L"\\\\?\\UNC\\server\\share\\a", 21, L"\\\\?\\UNC\\server\\share\\", L"\\\\?\\UNC\\server\\share\\a"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.path);
    EXPECT_EQ(RootLength(row.path), row.root);
    std::wstring above, toCreate;
    auto add = [](std::wstring& list, const std::wstring& item) { list += (list.empty() ? L"" : L" | ") + item; };
    for (std::wstring at = row.path; !(at = ParentFolder(at)).empty();) add(above, at);
    for (const std::wstring& folder : FolderChain(row.path)) add(toCreate, folder);
    EXPECT_EQ(above, row.above);
    EXPECT_EQ(toCreate, row.toCreate);
  }
}

}  // namespace tov
