// The desktop: message boxes answered by scripted and default desktops, stalls that fail instead of
// hanging, and scripts operating list and edit controls.
#include <korven/desktop.h>
#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "testsupport.h"

using korven::test::KorvenTest;
namespace kp = korven::platform;

namespace {

class Desktop : public KorvenTest {
 protected:
  HWND Owner() {
    HWND h = CreateWindowExA(0, "STATIC", "Main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, 0, 0, 0, nullptr);
    EXPECT_NE(h, 0u);
    return h;
  }
};

TEST_F(Desktop, ScriptedMessageBoxPressCancelReEnablesTheOwner) {
  kp::ScriptedDesktop desktop;
  desktop.Press("Cancel", "Question");
  kp::ScopedDesktop scoped(desktop);
  HWND owner = Owner();

  EXPECT_EQ(MessageBoxA(owner, "Proceed?", "Question", MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2), IDCANCEL);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_TRUE(desktop.Remaining().empty());
  ASSERT_EQ(desktop.Shown().size(), 2u);  // the owner, then the box
  const kp::ShownWindow& box = desktop.Shown()[1];
  EXPECT_EQ(box.className, "#32770");
  EXPECT_TRUE(box.dialog);
  EXPECT_EQ(box.caption, "Question");
  EXPECT_EQ(box.texts, std::vector<std::string>{"Proceed?"});
  EXPECT_EQ(box.buttons, (std::vector<std::string>{"OK", "Cancel"}));
  EXPECT_EQ(box.defaultButton, "Cancel");
  EXPECT_EQ(box.messageBoxType, UINT(MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2));
  EXPECT_EQ(kp::DescribeLine(box), "[Question] Proceed? (buttons: OK, Cancel)");
  DestroyWindow(owner);
}

TEST_F(Desktop, MessageBoxButtonsDefaultsAndAnswers) {
  struct Case {
    UINT type;
    std::vector<std::string> buttons;
    std::string defaultButton;
    std::string press;
    int result;
  } cases[] = {
      {MB_OK, {"OK"}, "OK", "ok", IDOK},
      {MB_YESNO | MB_DEFBUTTON2, {"&Yes", "&No"}, "&No", "Yes", IDYES},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, {"&Yes", "&No", "Cancel"}, "Cancel", "no", IDNO},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON4, {"&Abort", "&Retry", "&Ignore"}, "&Abort", "Ignore", IDIGNORE},
      {MB_RETRYCANCEL, {"&Retry", "Cancel"}, "&Retry", "Retry", IDRETRY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    kp::ScriptedDesktop desktop;
    desktop.Press(c.press);
    kp::ScopedDesktop scoped(desktop);
    EXPECT_EQ(MessageBoxA(0, "text", "Box", c.type), c.result);
    ASSERT_EQ(desktop.Shown().size(), 1u);
    EXPECT_EQ(desktop.Shown()[0].buttons, c.buttons);
    EXPECT_EQ(desktop.Shown()[0].defaultButton, c.defaultButton);
  }
  EXPECT_EQ(MessageBoxA(0, "bad", "Box", 0x0F), 0);  // no such button set
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_MSGBOX_STYLE));
}

TEST_F(Desktop, ClosingABoxAnswersCancelOnlyWhereThereIsOne) {
  {
    kp::ScriptedDesktop desktop;
    desktop.Close("Box");
    kp::ScopedDesktop scoped(desktop);
    EXPECT_EQ(MessageBoxA(0, "t", "Box", MB_OKCANCEL), IDCANCEL);
  }
  {
    // Yes/No has no close box: the close does nothing, the script goes on to press No.
    kp::ScriptedDesktop desktop;
    desktop.Close("Box").Press("No");
    kp::ScopedDesktop scoped(desktop);
    EXPECT_EQ(MessageBoxA(0, "t", "Box", MB_YESNO), IDNO);
  }
}

TEST_F(Desktop, AStalledScriptThrowsWithWhatIsOnScreen) {
  kp::ScriptedDesktop desktop;
  desktop.Press("Retry", "Other window");
  desktop.SetBlockLimitMs(30);
  kp::ScopedDesktop scoped(desktop);
  HWND owner = Owner();
  try {
    MessageBoxA(owner, "Disk full", "Saving", MB_OK | MB_ICONSTOP);
    ADD_FAILURE() << "MessageBoxA returned instead of failing";
  } catch (const kp::DesktopStalled& e) {
    std::string what = e.what();
    EXPECT_NE(what.find("[Saving] Disk full (buttons: OK)"), std::string::npos) << what;
    EXPECT_NE(what.find("[Main] (disabled)"), std::string::npos) << what;
    EXPECT_NE(what.find("Next step: Press \"Retry\" in \"Other window\""), std::string::npos) << what;
  }
  // Every path out of the box puts things back: the owner is enabled and the box is gone.
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(kp::VisibleWindows(), std::vector<HWND>{owner});
  EXPECT_EQ(desktop.Remaining().size(), 1u);
  DestroyWindow(owner);
}

TEST_F(Desktop, AFinishedScriptStallsToo) {
  kp::ScriptedDesktop desktop;
  desktop.SetBlockLimitMs(10);
  kp::ScopedDesktop scoped(desktop);
  MSG m;
  EXPECT_THROW(GetMessageA(&m, 0, 0, 0), kp::DesktopStalled);
  try {
    WaitMessage();
  } catch (const kp::DesktopStalled& e) {
    EXPECT_NE(std::string(e.what()).find("the script is finished"), std::string::npos);
  }
}

TEST_F(Desktop, DefaultDesktopPressesTheDefaultButton) {
  kp::DefaultDesktop desktop(true);
  kp::ScopedDesktop scoped(desktop);
  EXPECT_EQ(MessageBoxA(0, "Overwrite?", "Save", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBoxA(0, "Done", "Save", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(0, "Again?", "Save", MB_RETRYCANCEL), IDRETRY);
}

TEST_F(Desktop, QuitDuringABoxEndsItAndReachesTheCallersLoop) {
  kp::ScriptedDesktop desktop;
  kp::ScopedDesktop scoped(desktop);
  PostQuitMessage(4);
  EXPECT_EQ(MessageBoxA(0, "t", "Box", MB_OK), 0);
  MSG m;
  EXPECT_EQ(GetMessageA(&m, 0, 0, 0), FALSE);
  EXPECT_EQ(m.wParam, 4u);
}

// A small modal dialog with a list, an edit box and OK, run by its own message loop.
struct FormResult {
  std::vector<std::pair<int, int>> notifications;  // (control id, code)
  bool done = false;
};

LRESULT CALLBACK FormProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto* r = reinterpret_cast<FormResult*>(GetWindowLongPtrA(h, GWLP_USERDATA));
  if (msg == WM_COMMAND && r) {
    r->notifications.emplace_back(LOWORD(wp), HIWORD(wp));
    if (LOWORD(wp) == IDOK) r->done = true;
    return 0;
  }
  return DefWindowProcA(h, msg, wp, lp);
}

TEST_F(Desktop, PickAndTypeOperateControlsAndNotifyTheParent) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = FormProc;
  wc.lpszClassName = "KorvenForm";
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND form = CreateWindowExA(WS_EX_DLGMODALFRAME, "KorvenForm", "Choose", WS_POPUP | WS_CAPTION, 0, 0, 200, 200, 0, 0,
                              0, nullptr);
  FormResult result;
  SetWindowLongPtrA(form, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&result));
  HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE, 0, 0, 1, 1, form, 100, 0, nullptr);
  HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 0, 0, 1, 1, form, 101, 0, nullptr);
  CreateWindowExA(0, "EDIT", "hidden", WS_CHILD, 0, 0, 1, 1, form, 102, 0, nullptr);
  CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 0, 0, 1, 1, form, IDOK, 0, nullptr);
  for (const char* s : {"Alpha", "Beta"}) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));

  kp::ScriptedDesktop desktop;
  desktop.Pick("beta", "Choose").Type("hello", "Choose").Type("never", "Choose", 102).Press("OK");
  desktop.SetBlockLimitMs(30);
  kp::ScopedDesktop scoped(desktop);
  ShowWindow(form, SW_SHOW);
  MSG m;
  try {
    while (!result.done && GetMessageA(&m, 0, 0, 0) > 0) DispatchMessageA(&m);
    ADD_FAILURE() << "a hidden edit box was typed into";
  } catch (const kp::DesktopStalled& e) {
    EXPECT_NE(std::string(e.what()).find("Next step: Type \"never\""), std::string::npos) << e.what();
  }
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(kp::ReadText(form), "hello");
  EXPECT_EQ(kp::ReadText(form, 102), "hidden");
  // Typing focuses the box and types one character at a time: one EN_CHANGE per character.
  EXPECT_EQ(result.notifications,
            (std::vector<std::pair<int, int>>{{100, LBN_SELCHANGE}, {101, EN_SETFOCUS}, {101, EN_CHANGE},
                                              {101, EN_CHANGE}, {101, EN_CHANGE}, {101, EN_CHANGE}, {101, EN_CHANGE}}));
  kp::ShownWindow shown = kp::Describe(form);
  EXPECT_EQ(shown.selectedItem, "Beta");
  EXPECT_EQ(shown.edits, std::vector<std::string>{"hello"});  // hidden controls are not shown
  EXPECT_EQ(kp::DescribeLine(shown), "[Choose] (buttons: OK) (items: Alpha, Beta; selected: Beta) (edits: \"hello\")");

  // Pressing OK by hand ends the loop.
  EXPECT_TRUE(kp::PressDefaultButton(form));
  EXPECT_TRUE(result.done);
  EXPECT_FALSE(kp::PickItem(form, "Gamma"));
  DestroyWindow(form);
  UnregisterClassA("KorvenForm", 0);
  (void)edit;
}

TEST_F(Desktop, AlwaysRulesAnswerEveryMatchingBox) {
  kp::ScriptedDesktop desktop;
  desktop.Always("Yes", "Confirm");
  kp::ScopedDesktop scoped(desktop);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(MessageBoxA(0, "Sure?", "Confirm", MB_YESNO), IDYES);
  EXPECT_EQ(desktop.Shown().size(), 3u);
}

TEST_F(Desktop, NestedBoxesTakeTheNextSteps) {
  // A step that opens a second box: the second box is answered by the step after it.
  kp::ScriptedDesktop desktop;
  int inner = 0;
  desktop.Do("open an inner box", [&] {
    inner = MessageBoxA(0, "inner", "Inner", MB_OKCANCEL);
    return true;
  });
  desktop.Press("Cancel", "Inner").Press("OK", "Outer");
  kp::ScopedDesktop scoped(desktop);
  EXPECT_EQ(MessageBoxA(0, "outer", "Outer", MB_OK), IDOK);
  EXPECT_EQ(inner, IDCANCEL);
  EXPECT_TRUE(desktop.Remaining().empty());
}

// A dialog that refuses to close: each button and the close box log what they got; only the ones
// named in `closesOn` destroy it; with `prompt` every OK shows a message box first, with `okThrows`
// OK's handler throws.
struct Stubborn {
  std::vector<std::string> log;
  std::vector<std::string> closesOn;
  bool prompt = false;
  bool okThrows = false;
  int pages = 0;  // a wizard: each OK shows the next page (its text changes); OK on the last one closes
  int page = 1;
};

LRESULT CALLBACK StubbornProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  auto* st = reinterpret_cast<Stubborn*>(GetWindowLongPtrA(h, GWLP_USERDATA));
  std::string what = msg == WM_CLOSE                               ? "Close"
                     : msg == WM_COMMAND && LOWORD(wp) == IDOK     ? "OK"
                     : msg == WM_COMMAND && LOWORD(wp) == IDCANCEL ? "Cancel"
                                                                   : "";
  if (!st || what.empty()) return DefWindowProcA(h, msg, wp, lp);
  st->log.push_back(what);
  if (what == "OK" && st->okThrows) throw std::runtime_error("handler failed");
  if (what == "OK" && st->prompt) MessageBoxA(h, "The name is missing.", "Stubborn", MB_OK);
  if (what == "OK" && st->pages > 0) {
    if (st->page == st->pages) {
      DestroyWindow(h);
      return 0;
    }
    SetDlgItemTextA(h, 100, ("Page " + std::to_string(++st->page)).c_str());
  }
  if (std::find(st->closesOn.begin(), st->closesOn.end(), what) != st->closesOn.end()) DestroyWindow(h);
  return 0;
}

class StubbornDesktop : public Desktop {
 protected:
  void SetUp() override {
    Desktop::SetUp();
    WNDCLASSA wc{};
    wc.lpfnWndProc = StubbornProc;
    wc.lpszClassName = "KorvenStubborn";
    ASSERT_NE(RegisterClassA(&wc), 0);
  }
  void TearDown() override {
    UnregisterClassA("KorvenStubborn", 0);
    Desktop::TearDown();
  }
  HWND StubbornDialog(Stubborn& st, bool cancelButton) {
    HWND dlg = CreateWindowExA(WS_EX_DLGMODALFRAME, "KorvenStubborn", "Stubborn", WS_POPUP | WS_CAPTION, 0, 0, 200, 100,
                               0, 0, 0, nullptr);
    SetWindowLongPtrA(dlg, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&st));
    if (st.pages > 0) CreateWindowExA(0, "STATIC", "Page 1", WS_CHILD | WS_VISIBLE, 0, 0, 1, 1, dlg, 100, 0, nullptr);
    CreateWindowExA(0, "BUTTON", "&OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 0, 0, 1, 1, dlg, IDOK, 0, nullptr);
    if (cancelButton)
      CreateWindowExA(0, "BUTTON", "Cancel", WS_CHILD | WS_VISIBLE, 0, 0, 1, 1, dlg, IDCANCEL, 0, nullptr);
    ShowWindow(dlg, SW_SHOW);
    return dlg;
  }
};

TEST_F(StubbornDesktop, DefaultDesktopGivesUpOnADialogThatStaysOpen) {
  struct Case {
    const char* name;
    bool cancelButton;
    std::vector<std::string> closesOn;
    bool prompt;
    std::vector<std::string> log;
  } cases[] = {
      {"cancel closes", true, {"Cancel"}, false, {"OK", "OK", "OK", "Cancel"}},
      {"a prompt reappears", true, {"Cancel"}, true, {"OK", "OK", "OK", "Cancel"}},
      {"only the close box closes", true, {"Close"}, false, {"OK", "OK", "OK", "Cancel", "Close"}},
      {"no cancel button", false, {"Close"}, false, {"OK", "OK", "OK", "Close"}},
      {"nothing closes", true, {}, false, {"OK", "OK", "OK", "Cancel", "Close"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kp::DefaultDesktop desktop(true);
    kp::ScopedDesktop scoped(desktop);
    Stubborn st{{}, c.closesOn, c.prompt};
    HWND dlg = StubbornDialog(st, c.cancelButton);

    testing::internal::CaptureStderr();
    int acted = 0;
    while (acted < 20 && desktop.Idle()) ++acted;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(st.log, c.log);
    EXPECT_NE(err.find("\"Stubborn\""), std::string::npos) << err;
    EXPECT_NE(err.find("\"OK\" was pressed 3 times"), std::string::npos) << err;
    if (!IsWindow(dlg)) continue;
    // Left open, like a program whose user walked away; a window shown later is still answered.
    EXPECT_NE(err.find("stays open"), std::string::npos) << err;
    EXPECT_FALSE(desktop.Idle());
    EXPECT_EQ(MessageBoxA(0, "Later", "Other", MB_OKCANCEL), IDOK);
    DestroyWindow(dlg);
  }
}

TEST_F(StubbornDesktop, DefaultDesktopPressesAsOftenAsTheDialogMovesOn) {
  // A wizard of eight pages: each OK shows something new, so the same button is pressed eight times.
  kp::DefaultDesktop desktop(true);
  kp::ScopedDesktop scoped(desktop);
  Stubborn st;
  st.pages = 8;
  HWND dlg = StubbornDialog(st, true);
  testing::internal::CaptureStderr();
  int acted = 0;
  while (acted < 20 && IsWindow(dlg) && desktop.Idle()) ++acted;
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(IsWindow(dlg));
  EXPECT_EQ(st.log, std::vector<std::string>(8, "OK"));
  EXPECT_EQ(err.find("giving up"), std::string::npos) << err;
}

TEST_F(Desktop, AWaitKeptAliveOnlyByATimerFailsPastItsBound) {
  // A poll that never sees what it polls for: without the bound it would run until CTest's timeout.
  kp::ScriptedDesktop desktop;
  desktop.SetTimerOnlyLimitMs(100);
  kp::ScopedDesktop scoped(desktop);
  UINT_PTR timer = SetTimer(0, 0, 10, nullptr);
  MSG m;
  int ticks = 0;
  try {
    while (GetMessageA(&m, 0, 0, 0) > 0) ticks += m.message == WM_TIMER;
    ADD_FAILURE() << "the wait ended";
  } catch (const kp::DesktopStalled& e) {
    EXPECT_NE(std::string(e.what()).find("only timers firing"), std::string::npos) << e.what();
  }
  EXPECT_GT(ticks, 2);
  // A message other than a timer's starts the count again.
  PostMessageA(0, WM_USER, 0, 0);
  ASSERT_GT(GetMessageA(&m, 0, 0, 0), 0);
  EXPECT_EQ(m.message, UINT(WM_USER));
  KillTimer(0, timer);
}

TEST_F(StubbornDesktop, AScriptStepWhoseActionThrowsIsConsumed) {
  Stubborn st{{}, {"Close"}, false, true};
  kp::ScriptedDesktop desktop;
  desktop.Press("OK", "Stubborn").Close("Stubborn");
  kp::ScopedDesktop scoped(desktop);
  HWND dlg = StubbornDialog(st, true);
  MSG m;
  EXPECT_THROW(GetMessageA(&m, 0, 0, 0), std::runtime_error);
  EXPECT_EQ(desktop.Remaining(), std::vector<std::string>{"Close in \"Stubborn\""});
  while (IsWindow(dlg) && GetMessageA(&m, 0, 0, 0) > 0) DispatchMessageA(&m);
  EXPECT_EQ(st.log, (std::vector<std::string>{"OK", "Close"}));
  EXPECT_TRUE(desktop.Remaining().empty());
}

}  // namespace
