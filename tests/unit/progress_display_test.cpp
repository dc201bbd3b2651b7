#include "ui/progress_display.h"
#include "ui/taskbar_state.h"

#include <gtest/gtest.h>

#include <map>

namespace tov {

namespace {

// The four controls as the panel leaves them: template texts, position 0,
// all hidden.
struct FakePanel : ProvisioningControls {
  int Position() override { return position; }
  void SetPosition(int p) override { position = p; }
  void SetText(PanelControl c, const std::wstring& t) override { texts[c] = t, ++changes[c]; }
  void Show(PanelControl c, bool v) override { visible[c] = v; }

  int position = 0;
  std::map<PanelControl, std::wstring> texts{{PanelControl::PhaseLabel, L"正在更新......"},
                                             {PanelControl::PercentText, L"0%"}};
  std::map<PanelControl, bool> visible;
  std::map<PanelControl, int> changes;
  int downloadLabelSet = 0, unzipLabelSet = 0;

  void Update(const std::wstring& status, const std::wstring& percent, int pos, int download) {
    ApplyProgressUpdate(this, downloadLabelSet, unzipLabelSet, status, percent, pos, download);
  }
};

}  // namespace

TEST(UpdateProgress, UnchangedPositionKeepsTheFirstPercentageText) {
  FakePanel panel;
  panel.Update(L"", L"0% at start", 0, 1);
  EXPECT_EQ(panel.texts[PanelControl::PercentText], L"0%");
  panel.Update(L"", L"37%", 37, 1);
  panel.Update(L"", L"37% again", 37, 1);
  EXPECT_EQ(panel.texts[PanelControl::PercentText], L"37%");
  panel.Update(L"", L"38%", 38, 1);
  EXPECT_EQ(panel.texts[PanelControl::PercentText], L"38%");
  EXPECT_EQ(panel.position, 38);
  EXPECT_EQ(panel.texts[PanelControl::StatusText], L"");
}

TEST(UpdateProgress, PhaseLabelGetsEachTextOnceAndNeverChangesBack) {
  FakePanel panel;
  panel.Update(L"", L"1%", 1, 1);
  panel.Update(L"", L"2%", 2, 1);
  EXPECT_EQ(panel.texts[PanelControl::PhaseLabel], L"正在下载：");
  EXPECT_EQ(panel.changes[PanelControl::PhaseLabel], 1);
  panel.Update(L"更新已完成", L"", 0, 0);  // a status text counts as extraction
  EXPECT_EQ(panel.texts[PanelControl::PhaseLabel], L"正在解压：");
  panel.Update(L"", L"3%", 3, 1);
  EXPECT_EQ(panel.texts[PanelControl::PhaseLabel], L"正在解压：");
  EXPECT_EQ(panel.changes[PanelControl::PhaseLabel], 2);
}

TEST(UpdateProgress, HidesOnlyWhatItRelabelsAndShowsNothing) {
  FakePanel panel;
  for (auto c : {PanelControl::Progress, PanelControl::StatusText, PanelControl::PhaseLabel,
                 PanelControl::PercentText})
    panel.visible[c] = true;
  panel.Update(L"", L"10%", 10, 1);
  EXPECT_FALSE(panel.visible[PanelControl::PhaseLabel]);
  EXPECT_FALSE(panel.visible[PanelControl::PercentText]);
  EXPECT_TRUE(panel.visible[PanelControl::Progress]);
  EXPECT_TRUE(panel.visible[PanelControl::StatusText]);
  panel.visible[PanelControl::PhaseLabel] = panel.visible[PanelControl::PercentText] = true;
  panel.Update(L"", L"10%", 10, 1);
  EXPECT_TRUE(panel.visible[PanelControl::PhaseLabel]);
  EXPECT_TRUE(panel.visible[PanelControl::PercentText]);
}

TEST(UpdateProgress, WithoutAPanelNothingHappensNotEvenTheFlags) {
  int downloadLabelSet = 0, unzipLabelSet = 0;
  ApplyProgressUpdate(nullptr, downloadLabelSet, unzipLabelSet, L"x", L"1%", 1, 1);
  ApplyProgressUpdate(nullptr, downloadLabelSet, unzipLabelSet, L"x", L"", 0, 0);
  EXPECT_EQ(downloadLabelSet + unzipLabelSet, 0);
}

}  // namespace tov

namespace tov {

TEST(Taskbar, FollowsThePanel) {
  struct Case {
    PanelState panel;
    TaskbarView view;
  } cases[] = {
      {{}, {}},
      {{true, 37, false, L"", false}, {TaskbarMode::Normal, 37}},
      {{true, 37, false, L"", true}, {TaskbarMode::Paused, 37}},
      {{true, 250, false, L"", false}, {TaskbarMode::Normal, 100}},
      {{false, 0, true, kTextNetworkFailure, false}, {TaskbarMode::Error, 100}},
      {{false, 0, true, kTextUnzipFailure, true}, {TaskbarMode::Error, 100}},
      {{false, 0, true, kTextUpdateDone, false}, {}},
      // Between two modes, while one control is shown and the other not yet hidden.
      {{true, 10, true, L"", false}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(TaskbarFor(c.panel) == c.view) << c.panel.position << " " << c.panel.statusShown;
  }
}

}  // namespace tov
