// The source's own dialog, operated by the scripted desktop as a person would.
#include "virtual_fixture.h"

namespace korven::test {
namespace {

using korven::platform::ShownWindow;

TEST_F(VirtualTest, ScanInTheDialogAnnouncesAnImage) {
  TwainApp& app = Open("ProductName = Desk Scanner 9000\n");
  desktop_.Press("Scan", "Desk Scanner 9000");
  ASSERT_EQ(app.Enable(true), TWRC_SUCCESS);
  ASSERT_EQ(desktop_.Shown().size(), 1u);
  const ShownWindow& shown = desktop_.Shown()[0];
  EXPECT_EQ(shown.className, "#32770");
  EXPECT_EQ(shown.caption, "Desk Scanner 9000");
  EXPECT_TRUE(shown.dialog);
  EXPECT_EQ(shown.buttons, (std::vector<std::string>{"Scan", "Close"}));
  EXPECT_EQ(shown.defaultButton, "Scan");
  ASSERT_EQ(shown.texts.size(), 1u);
  EXPECT_NE(shown.texts[0].find("Colour, 24-bit, 300 x 300 dpi"), std::string::npos) << shown.texts[0];
  EXPECT_EQ(GetWindowLongPtrA(shown.hwnd, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, WS_EX_DLGMODALFRAME);
  EXPECT_EQ(GetParent(shown.hwnd), app.Parent());

  ASSERT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(shown.hwnd, IDOK)));  // no second Scan while one is under way
  TW_HANDLE h = 0;
  ASSERT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
  GlobalBlock dib(h);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
  EXPECT_EQ(+pending.Count, 0);
  // Back in state 5 the dialog stays up for the next page; Close is now the default.
  EXPECT_TRUE(IsWindowVisible(shown.hwnd));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(shown.hwnd, IDOK)));
  EXPECT_EQ(korven::platform::Describe(shown.hwnd).defaultButton, "Close");

  desktop_.Press("Scan");
  ASSERT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);
  ASSERT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
  GlobalBlock second(h);
  ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);

  desktop_.Press("Close");
  EXPECT_EQ(app.WaitForSourceEvent(), MSG_CLOSEDSREQ);
  ASSERT_EQ(app.Disable(), TWRC_SUCCESS);
  EXPECT_FALSE(IsWindow(shown.hwnd));
  EXPECT_TRUE(desktop_.Remaining().empty());
}

// A person who only ever presses Enter scans one page and then closes the source.
TEST_F(VirtualTest, TheDefaultButtonScansOnceThenCloses) {
  TwainApp& app = Open("Resolutions = 10..100\nDefaultResolution = 20\n");
  desktop_.Do("press the default button", [] {
    auto windows = korven::platform::VisibleWindows();
    return !windows.empty() && korven::platform::PressDefaultButton(windows.front());
  });
  desktop_.Do("press the default button again", [] {
    auto windows = korven::platform::VisibleWindows();
    return !windows.empty() && korven::platform::PressDefaultButton(windows.front());
  });
  ASSERT_EQ(app.Enable(true), TWRC_SUCCESS);
  ASSERT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);
  TW_HANDLE h = 0;
  ASSERT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
  GlobalBlock dib(h);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
  EXPECT_EQ(app.WaitForSourceEvent(), MSG_CLOSEDSREQ);
  ASSERT_EQ(app.Disable(), TWRC_SUCCESS);
}

TEST_F(VirtualTest, ClosingTheDialogWindowAsksToBeClosed) {
  TwainApp& app = Open();
  desktop_.Close("Virtual Scanner");
  ASSERT_EQ(app.Enable(true), TWRC_SUCCESS);
  EXPECT_EQ(app.WaitForSourceEvent(), MSG_CLOSEDSREQ);
  EXPECT_EQ(app.State(), 5);
  ASSERT_EQ(app.Disable(), TWRC_SUCCESS);
  EXPECT_EQ(app.CloseDS(), TWRC_SUCCESS);
}

TEST_F(VirtualTest, DisablingWithAScanStillQueuedLeavesNothingBehind) {
  TwainApp& app = Open();
  ASSERT_EQ(app.Enable(true), TWRC_SUCCESS);
  ASSERT_EQ(desktop_.Shown().size(), 1u);
  HWND dialog = desktop_.Shown()[0].hwnd;
  ASSERT_TRUE(korven::platform::PressButton(dialog, "Scan"));  // posts the announcement
  ASSERT_EQ(app.Disable(), TWRC_SUCCESS);
  EXPECT_FALSE(IsWindow(dialog));
  MSG left{};
  EXPECT_FALSE(PeekMessageA(&left, 0, 0, 0, PM_NOREMOVE)) << "message " << left.message << " left in the queue";
}

TEST_F(VirtualTest, FeederBatchFromTheDialog) {
  TwainApp& app = Open("PagesLoaded = 2\n");
  ASSERT_EQ(app.SetOneValue(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
  for (TW_UINT16 cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION}) ASSERT_EQ(SetFix32(app, cap, 50), TWRC_SUCCESS);
  desktop_.Press("Scan");
  ASSERT_EQ(app.Enable(true), TWRC_SUCCESS);
  ASSERT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);
  TW_PENDINGXFERS pending{};
  for (int left : {1, 0}) {
    TW_HANDLE h = 0;
    ASSERT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
    GlobalBlock dib(h);
    ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
    EXPECT_EQ(+pending.Count, left);
  }
  // The feeder is empty: nothing more to scan until the next enable.
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(desktop_.Shown()[0].hwnd, IDOK)));
  ASSERT_EQ(app.Disable(), TWRC_SUCCESS);
}

}  // namespace
}  // namespace korven::test
