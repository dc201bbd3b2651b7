// The launcher's message boxes: caption, owner and icon.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "base/app_state.h"
#include "base/message_box.h"

TEST(MessageBoxes, TheApplicationBoxUsesAppNameAndAWarningIconForOk) {
  GetAppState().appName = L"Halvard";
  std::vector<tov::MessageBoxCall> calls;
  tov::SetMessageBoxHook([&](const tov::MessageBoxCall& c) {
    calls.push_back(c);
    return IDYES;
  });
  tov::AppMessageBox(L"\u521b\u5efa\u6570\u636e\u76ee\u5f55\u5931\u8d25,\u9519\u8bafid:5", MB_OK);
  EXPECT_EQ(tov::AppMessageBox(L"\u786e\u5b9a\u8981\u5378\u8f7d\u5417?", MB_YESNO | MB_ICONQUESTION),
            IDYES);
  tov::SetMessageBoxHook(nullptr);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].caption, L"Halvard");
  EXPECT_EQ(calls[0].owner, nullptr);
  EXPECT_EQ(calls[0].flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(calls[1].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
}
