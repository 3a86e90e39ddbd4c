// MessageDlg and ShowMessage as a person sees them through the desktop: caption, text, buttons in
// order, the default button, and the result of the button pressed.
#include <korven/desktop.h>
#include <vcl/Dialogs.h>

#include "testsupport.h"

using namespace vcl;
using korven::platform::ScopedDesktop;
using korven::platform::ScriptedDesktop;

namespace {

struct DlgCase {
  const char* name;
  TMsgDlgType type;
  TMsgDlgButtons buttons;
  const char* press;  // as a person reads it, without '&'
  int result;
  std::string caption;  // "" for the application title
  std::vector<std::string> captions;
  std::string defaultButton;
};
void PrintTo(const DlgCase& c, std::ostream* os) { *os << c.name; }

const DlgCase kCases[] = {
    {"ConfirmYesNoCancel", mtConfirmation, mbYesNoCancel, "No", mrNo, "Confirm", {"&Yes", "&No", "Cancel"}, "&Yes"},
    {"WarningAbortRetryIgnore", mtWarning, mbAbortRetryIgnore, "Retry", mrRetry, "Warning",
     {"&Abort", "&Retry", "&Ignore"}, "&Retry"},
    {"ErrorOk", mtError, TMsgDlgButtons{mbOK}, "OK", mrOk, "Error", {"OK"}, "OK"},
    {"InformationToAll", mtInformation, TMsgDlgButtons{mbYesToAll, mbNoToAll, mbAll, mbYes}, "Yes to All", mrYesToAll,
     "Information", {"&Yes", "&All", "N&o to All", "Yes to &All"}, "&Yes"},
    {"CustomOkCancel", mtCustom, mbOKCancel, "Cancel", mrCancel, "", {"OK", "Cancel"}, "OK"},
    {"NoButtonsGivesOk", mtWarning, TMsgDlgButtons{}, "OK", mrOk, "Warning", {"OK"}, "OK"},
};

class MessageDialogs : public korven::test::KorvenTest, public ::testing::WithParamInterface<DlgCase> {
 protected:
  ScriptedDesktop desktop;
  ScopedDesktop scope{desktop};
};

TEST_P(MessageDialogs, AreRecordedAndAnswered) {
  const DlgCase& c = GetParam();
  // The text and every button lie inside the client area (a person can see and press them).
  std::vector<std::string> outside;
  desktop.Do("look at the dialog", [&] {
    const HWND dialog = korven::platform::VisibleWindows().at(0);
    RECT client{};
    GetClientRect(dialog, &client);
    for (const auto& control : korven::platform::Describe(dialog).controls)
      if (control.rect.left < 0 || control.rect.top < 0 || control.rect.right > client.right ||
          control.rect.bottom > client.bottom)
        outside.push_back(control.text);
    return true;
  });
  desktop.Press(c.press);
  EXPECT_EQ(MessageDlg("Replace the scanned page?", c.type, c.buttons, 0), c.result);
  ASSERT_EQ(desktop.Shown().size(), 1u);
  const auto& w = desktop.Shown()[0];
  EXPECT_EQ(w.caption, c.caption.empty() ? Application->GetTitle() : c.caption);
  EXPECT_EQ(w.texts, (std::vector<std::string>{"Replace the scanned page?"}));
  EXPECT_EQ(w.buttons, c.captions);
  EXPECT_EQ(w.defaultButton, c.defaultButton);
  EXPECT_TRUE(w.dialog);
  EXPECT_EQ(w.messageBoxType, 0u);  // a framework dialog, not a MessageBoxA window
  EXPECT_EQ(outside, std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Types, MessageDialogs, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

class Dialogs : public korven::test::KorvenTest {
 protected:
  ScriptedDesktop desktop;
  ScopedDesktop scope{desktop};
};

TEST_F(Dialogs, ShowMessageHasTheTitleOneOkButtonAndTheText) {
  desktop.Press("OK");
  ShowMessage("Scan finished: 3 pages");
  ASSERT_EQ(desktop.Shown().size(), 1u);
  EXPECT_EQ(desktop.Shown()[0].caption, Application->GetTitle());
  EXPECT_EQ(desktop.Shown()[0].texts, (std::vector<std::string>{"Scan finished: 3 pages"}));
  EXPECT_EQ(desktop.Shown()[0].buttons, (std::vector<std::string>{"OK"}));
}

TEST_F(Dialogs, HelpAsksTheApplicationAndKeepsTheDialogAndClosingCancels) {
  int helpContext = -1;
  Application->OnHelp = [&](uint16_t, int data, bool&) {
    helpContext = data;
    return true;
  };
  desktop.Press("Help").Press("OK");
  EXPECT_EQ(MessageDlg("Source not found", mtError, TMsgDlgButtons{mbOK, mbHelp}, 4711), mrOk);
  EXPECT_EQ(helpContext, 4711);
  Application->OnHelp = nullptr;

  desktop.Close();
  EXPECT_EQ(MessageDlg("Discard?", mtConfirmation, TMsgDlgButtons{mbYes, mbNo}, 0), mrCancel);
}

TEST_F(Dialogs, HandleExceptionShowsTheMessageWithAStopIcon) {
  desktop.Press("OK");
  try {
    throw EConvertError("'x' is not a valid floating point value");
  } catch (...) {
    Application->HandleException(nullptr);
  }
  ASSERT_EQ(desktop.Shown().size(), 1u);
  EXPECT_EQ(desktop.Shown()[0].texts.at(0), "'x' is not a valid floating point value.");
  EXPECT_EQ(desktop.Shown()[0].messageBoxType & MB_ICONMASK, static_cast<UINT>(MB_ICONSTOP));

  bool aborted = false;  // EAbort is silent
  try {
    throw EAbort("quiet");
  } catch (...) {
    Application->HandleException(nullptr);
    aborted = true;
  }
  EXPECT_TRUE(aborted);
  EXPECT_EQ(desktop.Shown().size(), 1u);
}

}  // namespace
