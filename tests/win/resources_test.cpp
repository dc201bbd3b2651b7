// The resources the launcher carries, linked into this test as into the
// launcher: dialog templates, icon, images and version.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "build_config.h"
#include "resource_ids.h"

TEST(Resources, TheLauncherCarriesItsTemplatesImagesIconAndVersion) {
  HMODULE self = GetModuleHandleW(nullptr);
  EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(IDD_TOVLAUNCHER_DIALOG), RT_DIALOG), nullptr);
  EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(IDD_CONTENT_PANEL), RT_DIALOG), nullptr);
  HRSRC group = FindResourceW(self, MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  // GRPICONDIR: reserved, type, count, then one 14-byte entry per image.
  auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(self, group)));
  WORD count = *reinterpret_cast<const WORD*>(dir + 4);
  ASSERT_EQ(count, 5);
  std::vector<int> sizes;
  for (int i = 0; i < count; ++i) {
    const BYTE* e = dir + 6 + 14 * i;
    sizes.push_back(e[0] == 0 ? 256 : e[0]);
    EXPECT_EQ(*reinterpret_cast<const WORD*>(e + 6), 32) << "bits per pixel of entry " << i;
  }
  EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48, 64, 128}));

  for (const auto& [id, width, height] : {std::tuple{IDB_CLOSE_PNG, 30, 30}, {IDB_BACKGROUND_PNG, 1280, 714}}) {
    HRSRC png = FindResourceW(self, MAKEINTRESOURCEW(id), L"PNG");
    ASSERT_NE(png, nullptr) << id;
    auto* data = static_cast<const BYTE*>(LockResource(LoadResource(self, png)));
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(data + 1), 3), "PNG");
    auto be32 = [](const BYTE* p) { return (p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; };
    EXPECT_EQ(be32(data + 16), width) << id;
    EXPECT_EQ(be32(data + 20), height) << id;
  }

  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, info.data()));
  auto value = [&](const wchar_t* name) {
    void* p = nullptr;
    UINT len = 0;
    std::wstring key = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    if (!VerQueryValueW(info.data(), key.c_str(), &p, &len)) return std::wstring(L"<none>");
    return std::wstring(static_cast<const wchar_t*>(p));
  };
  // As the channel profile gives them.
  EXPECT_EQ(value(L"FileDescription"), TOV_FILE_DESCRIPTION);
  EXPECT_EQ(value(L"InternalName"), TOV_LAUNCHER_FILE_NAME);
  EXPECT_EQ(value(L"OriginalFilename"), TOV_LAUNCHER_FILE_NAME);
  EXPECT_EQ(value(L"FileVersion"), TOV_FILE_VERSION);
  EXPECT_EQ(value(L"ProductVersion"), TOV_FILE_VERSION);
  EXPECT_EQ(value(L"ProductName"), TOV_PRODUCT_NAME);
  EXPECT_NE(FindResourceW(self, MAKEINTRESOURCEW(1), RT_MANIFEST), nullptr);
}
