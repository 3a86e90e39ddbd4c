// MSG_USERSELECT: the manager's selection dialog, answered by the scripted desktop.
#include "dsm_fixture.h"

#include <korven/desktop.h>

using namespace korven::test;
using korven::platform::ScopedDesktop;
using korven::platform::ScriptedDesktop;
using korven::platform::ShownWindow;

namespace {

class SelectTest : public DsmTest {
 protected:
  void SetUp() override {
    DsmTest::SetUp();
    AddScanner("a", "Alpha");
    AddScanner("b", "Beta");
    AddScanner("c", "Gamma");
  }
};

std::string StoredDefault() {
  char value[64] = {};
  GetProfileStringA("TWAIN", "Default Source", "", value, sizeof(value));
  return value;
}

TEST_F(SelectTest, TheChoiceBecomesTheDefaultAndPersists) {
  ScriptedDesktop desktop;
  ScopedDesktop installed(desktop);
  bool parentDisabled = false;
  {
    TwainApp app;
    ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
    desktop.Do("look at the parent", [&] { return parentDisabled = !IsWindowEnabled(app.Parent()), true; })
        .Pick("Beta", "Select Source")
        .Press("Select", "Select Source");
    TW_IDENTITY chosen{};
    ASSERT_EQ(app.UserSelect(&chosen), TWRC_SUCCESS);
    EXPECT_EQ(TwainApp::Name(chosen), "Beta");
    EXPECT_TRUE(desktop.Remaining().empty());
    EXPECT_TRUE(parentDisabled);
    EXPECT_TRUE(IsWindowEnabled(app.Parent()));

    ASSERT_EQ(desktop.Shown().size(), 1u);
    const ShownWindow& dialog = desktop.Shown()[0];
    EXPECT_EQ(dialog.caption, "Select Source");
    EXPECT_EQ(dialog.className, "#32770");
    EXPECT_TRUE(dialog.dialog);
    EXPECT_EQ(dialog.items, (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(dialog.selectedItem, "Alpha");  // no choice yet: the first source
    EXPECT_EQ(dialog.defaultButton, "Select");
    EXPECT_EQ(dialog.buttons, (std::vector<std::string>{"Select", "Cancel"}));
    EXPECT_EQ(StoredDefault(), "Beta");
  }
  // A new load of the manager finds the choice: opens it and preselects it.
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(app.OpenDS(""), TWRC_SUCCESS);
  EXPECT_EQ(TwainApp::Name(app.Source()), "Beta");
  desktop.Press("Cancel", "Select Source");
  EXPECT_EQ(app.UserSelect(), TWRC_CANCEL);
  EXPECT_EQ(desktop.Shown().back().selectedItem, "Beta");
}

TEST_F(SelectTest, CancelAndTheCloseBoxKeepTheDefault) {
  ScriptedDesktop desktop;
  ScopedDesktop installed(desktop);
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  ASSERT_TRUE(WriteProfileStringA("TWAIN", "Default Source", "Gamma"));

  desktop.Pick("Alpha").Press("Cancel");
  TW_IDENTITY chosen = TwainApp::NamedIdentity("untouched");
  EXPECT_EQ(app.UserSelect(&chosen), TWRC_CANCEL);
  EXPECT_EQ(TwainApp::Name(chosen), "");  // the helper sends an all-zero identity; nothing is written
  EXPECT_EQ(app.ManagerCondition(), TWCC_SUCCESS);

  desktop.Pick("Beta").Close("Select Source");
  EXPECT_EQ(app.UserSelect(), TWRC_CANCEL);
  EXPECT_EQ(StoredDefault(), "Gamma");
  EXPECT_TRUE(IsWindowEnabled(app.Parent()));
  EXPECT_TRUE(desktop.Remaining().empty());
}

TEST_F(SelectTest, AQuitMessageEndsTheDialogAndReachesTheApplication) {
  ScriptedDesktop desktop;
  ScopedDesktop installed(desktop);
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  desktop.Do("quit the application", [] { return PostQuitMessage(3), true; });
  EXPECT_EQ(app.UserSelect(), TWRC_CANCEL);
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, 0, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, UINT(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_TRUE(IsWindowEnabled(app.Parent()));
}

TEST_F(SelectTest, TheApplicationMayCallTheManagerWhileTheDialogIsUp) {
  ScriptedDesktop desktop;
  ScopedDesktop installed(desktop);
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  std::vector<std::string> names;
  TW_UINT16 opened = TWRC_FAILURE;
  desktop.Do("list the sources", [&] { return names = app.SourceNames(), true; })
      .Do("open a source", [&] { return opened = app.OpenDS("Gamma"), true; })
      .Pick("Beta")
      .Press("Select");
  EXPECT_EQ(app.UserSelect(), TWRC_SUCCESS);
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
  EXPECT_EQ(opened, TWRC_SUCCESS);
  EXPECT_EQ(StoredDefault(), "Beta");
  EXPECT_EQ(app.CloseDS(), TWRC_SUCCESS);
}

TEST_F(SelectTest, AParentDisabledBeforehandStaysDisabled) {
  ScriptedDesktop desktop;
  ScopedDesktop installed(desktop);
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  EnableWindow(app.Parent(), FALSE);
  desktop.Press("Select");
  EXPECT_EQ(app.UserSelect(), TWRC_SUCCESS);
  EXPECT_FALSE(IsWindowEnabled(app.Parent()));
  EnableWindow(app.Parent(), TRUE);
}

TEST_F(SelectTest, ADesktopThatGivesUpLeavesNothingBehind) {
  ScriptedDesktop desktop;
  desktop.SetBlockLimitMs(0);
  ScopedDesktop installed(desktop);
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  EXPECT_THROW(app.UserSelect(), korven::platform::DesktopStalled);
  EXPECT_TRUE(IsWindowEnabled(app.Parent()));
  // The manager is still in order afterwards (the fixture checks that the dialog is gone).
  desktop.Press("Select");
  EXPECT_EQ(app.UserSelect(), TWRC_SUCCESS);
}

using SelectWithoutSources = DsmTest;

TEST_F(SelectWithoutSources, FailsWithNoSourceAndShowsNothing) {
  ScriptedDesktop desktop;
  ScopedDesktop installed(desktop);
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  EXPECT_EQ(app.UserSelect(), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), TWCC_NODS);
  EXPECT_TRUE(desktop.Shown().empty());
}

}  // namespace
