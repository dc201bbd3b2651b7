#include "app/uninstall_rules.h"

#include <gtest/gtest.h>

namespace tov {

TEST(RemovalCommand, WaitsOnLoopbackThenRemovesTheRootAsOneArgument) {
  EXPECT_EQ(*RemovalCommandParameters(L"C:\\bm-chan"),
            L"/c ping 127.0.0.1 -n 4 > Nul & rmdir /q /s \"C:\\bm-chan\\\"");
  EXPECT_EQ(*RemovalCommandParameters(L"E:\\My Games\\bm-chan"),
            L"/c ping 127.0.0.1 -n 4 > Nul & rmdir /q /s \"E:\\My Games\\bm-chan\\\"");
  EXPECT_FALSE(RemovalCommandParameters(L"C:\\" + std::wstring(1000, L'd')).has_value());
}

TEST(RemovalCommand, CommandCharactersInThePathStayInsideItsOneArgument) {
  // Unquoted, "& del ..." would have run as a command of its own.
  EXPECT_EQ(*RemovalCommandParameters(L"D:\\Games&Co^(x)\\bm-chan"),
            L"/c ping 127.0.0.1 -n 4 > Nul & rmdir /q /s \"D:\\Games&Co^(x)\\bm-chan\\\"");
  // Quotes do not stop "%VAR%" expansion, and a quote ends the argument.
  EXPECT_FALSE(RemovalCommandParameters(L"D:\\100%WINDIR%\\bm-chan").has_value());
  EXPECT_FALSE(RemovalCommandParameters(L"D:\\a\" & rmdir C:\\x").has_value());
}

TEST(RemovalCommand, StartsOutsideTheDirectoryItRemoves) {
  EXPECT_EQ(RemovalWorkingDirectory(L"C:\\bm-chan"), L"C:\\");
  EXPECT_EQ(RemovalWorkingDirectory(L"E:\\My Games\\bm-chan"), L"E:\\My Games");
}

}  // namespace tov
