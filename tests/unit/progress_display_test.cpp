#include "ui/progress_display.h"

#include <gtest/gtest.h>

#include <map>

namespace tov {

namespace {

// The four controls as they stand after the panel's initialisation: the
// template's texts, position 0, everything hidden.
class FakePanel : public ProvisioningControls {
 public:
  int Position() override { return position; }
  void SetPosition(int p) override { position = p; }
  void SetText(PanelControl c, const std::wstring& text) override {
    texts[c] = text;
    ++textChanges[c];
  }
  void Show(PanelControl c, bool v) override { visible[c] = v; }

  void ShowAll() {
    for (auto c : {PanelControl::Progress, PanelControl::StatusText, PanelControl::PhaseLabel,
                   PanelControl::PercentText})
      visible[c] = true;
  }

  int position = 0;
  std::map<PanelControl, std::wstring> texts{{PanelControl::PhaseLabel, L"正在更新......"},
                                             {PanelControl::PercentText, L"0%"},
                                             {PanelControl::StatusText, L"正在更新....."}};
  std::map<PanelControl, bool> visible;
  std::map<PanelControl, int> textChanges;
};

struct PanelRun {
  FakePanel panel;
  int downloadLabelSet = 0;
  int unzipLabelSet = 0;
  void Update(const std::wstring& status, const std::wstring& percent, int position, int download) {
    ApplyProgressUpdate(&panel, downloadLabelSet, unzipLabelSet, status, percent, position, download);
  }
};

}  // namespace

TEST(UpdateProgress, UnchangedPositionKeepsTheFirstPercentageText) {
  PanelRun run;
  run.Update(L"", L"37%", 37, 1);
  run.Update(L"", L"37% again", 37, 1);
  run.Update(L"", L"", 37, 1);
  EXPECT_EQ(run.panel.texts[PanelControl::PercentText], L"37%");
  EXPECT_EQ(run.panel.textChanges[PanelControl::PercentText], 1);
  run.Update(L"", L"38%", 38, 1);
  EXPECT_EQ(run.panel.texts[PanelControl::PercentText], L"38%");
  EXPECT_EQ(run.panel.position, 38);
}

TEST(UpdateProgress, StartAtTheBarsOwnPositionKeepsTheTemplateText) {
  PanelRun run;
  run.Update(L"", L"0%.", 0, 1);
  EXPECT_EQ(run.panel.texts[PanelControl::PercentText], L"0%");
  // Going back to a position shown before is a change like any other.
  run.Update(L"", L"50%", 50, 1);
  run.Update(L"", L"0% back", 0, 1);
  EXPECT_EQ(run.panel.texts[PanelControl::PercentText], L"0% back");
}

TEST(UpdateProgress, PhaseLabelIsNamedOncePerPhaseAndNeverChangesBack) {
  PanelRun run;
  run.Update(L"", L"1%", 1, 1);
  EXPECT_EQ(run.panel.texts[PanelControl::PhaseLabel], L"正在下载：");
  run.Update(L"", L"2%", 2, 1);
  EXPECT_EQ(run.panel.textChanges[PanelControl::PhaseLabel], 1);

  run.Update(L"", L"1/3", 33, 0);
  EXPECT_EQ(run.panel.texts[PanelControl::PhaseLabel], L"正在解压：");
  run.Update(L"", L"2/3", 66, 1);  // a download report after extraction began
  run.Update(L"更新已完成", L"", 0, 0);
  EXPECT_EQ(run.panel.texts[PanelControl::PhaseLabel], L"正在解压：");
  EXPECT_EQ(run.panel.textChanges[PanelControl::PhaseLabel], 2);
  EXPECT_EQ(run.downloadLabelSet, 1);
  EXPECT_EQ(run.unzipLabelSet, 1);
}

TEST(UpdateProgress, StatusOnlyCallCountsAsTheExtractionPhase) {
  PanelRun run;
  run.Update(L"更新失败,请检查网络", L"", 0, 0);
  EXPECT_EQ(run.panel.texts[PanelControl::PhaseLabel], L"正在解压：");
  EXPECT_EQ(run.unzipLabelSet, 1);
  EXPECT_EQ(run.downloadLabelSet, 0);
  run.Update(L"", L"5%", 5, 1);
  EXPECT_EQ(run.panel.texts[PanelControl::PhaseLabel], L"正在下载：");
  run.Update(L"", L"1/2", 50, 0);
  EXPECT_EQ(run.panel.texts[PanelControl::PhaseLabel], L"正在下载：");
}

TEST(UpdateProgress, StatusTextIsSetEveryTimeEvenEmpty) {
  PanelRun run;
  run.Update(L"更新失败,请检查网络", L"", 0, 0);
  EXPECT_EQ(run.panel.texts[PanelControl::StatusText], L"更新失败,请检查网络");
  run.Update(L"", L"3%", 3, 1);
  EXPECT_EQ(run.panel.texts[PanelControl::StatusText], L"");
  EXPECT_EQ(run.panel.textChanges[PanelControl::StatusText], 2);
}

TEST(UpdateProgress, HidesWhatItRelabelsAndShowsNothing) {
  PanelRun run;
  run.panel.ShowAll();
  run.Update(L"", L"10%", 10, 1);
  EXPECT_FALSE(run.panel.visible[PanelControl::PhaseLabel]);
  EXPECT_FALSE(run.panel.visible[PanelControl::PercentText]);
  EXPECT_TRUE(run.panel.visible[PanelControl::Progress]);
  EXPECT_TRUE(run.panel.visible[PanelControl::StatusText]);

  run.panel.ShowAll();
  run.Update(L"", L"10%", 10, 1);  // nothing to relabel, nothing new
  for (auto& [control, shown] : run.panel.visible) EXPECT_TRUE(shown);
}

TEST(UpdateProgress, WithoutAPanelNothingHappensNotEvenTheFlags) {
  int downloadLabelSet = 0, unzipLabelSet = 0;
  ApplyProgressUpdate(nullptr, downloadLabelSet, unzipLabelSet, L"x", L"1%", 1, 1);
  ApplyProgressUpdate(nullptr, downloadLabelSet, unzipLabelSet, L"x", L"", 0, 0);
  EXPECT_EQ(downloadLabelSet, 0);
  EXPECT_EQ(unzipLabelSet, 0);
}

TEST(DisplayModes, StatusTextStandsAloneProgressShowsTheRest) {
  const PanelControl all[] = {PanelControl::Progress, PanelControl::StatusText,
                              PanelControl::PhaseLabel, PanelControl::PercentText};
  for (PanelControl c : all) {
    EXPECT_EQ(VisibleInMode(DisplayMode::StatusText, c), c == PanelControl::StatusText);
    EXPECT_EQ(VisibleInMode(DisplayMode::Progress, c), c != PanelControl::StatusText);
  }
}

}  // namespace tov
