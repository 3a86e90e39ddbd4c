// Forms on the platform's windows, answered by a scripted desktop: ShowModal and its modal result,
// the enabled states it takes away and gives back on every path, closing, controls a person
// operates, and the application object.
#include <korven/desktop.h>
#include <vcl/Forms.h>
#include <vcl/ExtCtrls.h>
#include <vcl/StdCtrls.h>

#include <memory>
#include <stdexcept>

#include "testsupport.h"

using namespace vcl;
using korven::platform::DesktopStalled;
using korven::platform::ScopedDesktop;
using korven::platform::ScriptedDesktop;

namespace {

class Forms : public korven::test::KorvenTest {
 protected:
  ScriptedDesktop desktop;
  ScopedDesktop scope{desktop};
};

// A form with an OK and a Cancel button, as a settings dialog would have.
std::unique_ptr<TForm> Dialog(const std::string& caption) {
  auto form = std::make_unique<TForm>(nullptr);
  form->SetCaption(caption);
  form->SetBorderStyle(bsDialog);
  auto* ok = new TButton(form.get());
  ok->SetParent(form.get());
  ok->SetCaption("OK");
  ok->SetModalResult(mrOk);
  ok->SetDefault(true);
  auto* cancel = new TButton(form.get());
  cancel->SetParent(form.get());
  cancel->SetCaption("Cancel");
  cancel->SetModalResult(mrCancel);
  return form;
}

TEST_F(Forms, AModalFormPressedByTheDesktopReturnsTheButtonsModalResult) {
  auto form = Dialog("Settings");
  desktop.Press("OK", "Settings");
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_FALSE(form->GetVisible());
  EXPECT_FALSE(IsWindowVisible(form->GetHandle()));
  ASSERT_EQ(desktop.Shown().size(), 1u);
  const auto& shown = desktop.Shown()[0];
  EXPECT_EQ(shown.caption, "Settings");
  EXPECT_EQ(shown.buttons, (std::vector<std::string>{"OK", "Cancel"}));
  EXPECT_EQ(shown.defaultButton, "OK");
  EXPECT_TRUE(shown.dialog);

  desktop.Close("Settings");  // the close box of a modal form gives mrCancel
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_TRUE(desktop.Remaining().empty());
}

TEST_F(Forms, ShowModalDisablesTheOtherWindowsAndGivesTheirStatesBack) {
  TForm main(nullptr);
  main.SetCaption("Main");
  main.Show();
  TForm idle(nullptr);
  idle.SetCaption("Disabled before");
  idle.Show();
  EnableWindow(idle.GetHandle(), FALSE);
  auto form = Dialog("Modal");
  bool mainDisabledWhileModal = false;
  desktop.Do("look at the main window, then press OK", [&] {
    mainDisabledWhileModal = !IsWindowEnabled(main.GetHandle());
    return korven::platform::PressButton(form->GetHandle(), "OK");
  });
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_TRUE(mainDisabledWhileModal);
  EXPECT_TRUE(IsWindowEnabled(main.GetHandle()));
  EXPECT_FALSE(IsWindowEnabled(idle.GetHandle()));
}

TEST_F(Forms, EnabledStatesComeBackWhenAnExceptionPassesShowModal) {
  TForm main(nullptr);
  main.SetCaption("Main");
  main.Show();
  auto form = Dialog("Modal");
  static_cast<TButton*>(form->Controls(0))->OnClick = [](TObject*) { throw std::runtime_error("handler failed"); };
  desktop.Press("OK", "Modal");
  EXPECT_THROW(form->ShowModal(), std::runtime_error);
  EXPECT_TRUE(IsWindowEnabled(main.GetHandle()));
  EXPECT_FALSE(form->GetVisible());
  EXPECT_FALSE(form->Modal());

  // A script with nothing left: the desktop gives up, and the windows still come back.
  ScriptedDesktop empty;
  ScopedDesktop emptyScope(empty);
  empty.SetBlockLimitMs(20);
  EXPECT_THROW(form->ShowModal(), DesktopStalled);
  EXPECT_TRUE(IsWindowEnabled(main.GetHandle()));
  EXPECT_FALSE(IsWindowVisible(form->GetHandle()));
}

TEST_F(Forms, CloseQueryCanRefuseAndOnCloseSeesTheModalResult) {
  auto form = Dialog("Ask");
  int queries = 0;
  form->OnCloseQuery = [&](TObject*, bool& canClose) { canClose = ++queries > 1; };
  TModalResult seen = mrNone;
  form->OnClose = [&](TObject* sender, TCloseAction&) { seen = static_cast<TForm*>(sender)->GetModalResult(); };
  desktop.Press("OK", "Ask").Press("Cancel", "Ask");
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_EQ(queries, 2);
  EXPECT_EQ(seen, mrCancel);
  EXPECT_THROW(
      {
        form->Show();
        form->ShowModal();
      },
      EInvalidOperation);
  form->Hide();
}

// A form whose window procedure fails on one message, to show what the modal loop does with a
// framework exception raised while a message is dispatched.
class FailingForm : public TForm {
 public:
  using TForm::TForm;
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override {
    if (Msg == WM_APP) throw EConvertError("'abc' is not a valid integer value");
    return TForm::WndProc(Msg, wParam, lParam);
  }
};

TEST_F(Forms, AFrameworkExceptionInsideTheLoopIsShownAndTheLoopGoesOn) {
  FailingForm form(nullptr);
  form.SetCaption("Failing");
  auto* close = new TButton(&form);
  close->SetParent(&form);
  close->SetCaption("Close");
  close->SetModalResult(mrAbort);
  PostMessageA(form.GetHandle(), WM_APP, 0, 0);
  desktop.Press("OK", Application->GetTitle()).Press("Close", "Failing");
  EXPECT_EQ(form.ShowModal(), mrAbort);
  ASSERT_EQ(desktop.Shown().size(), 2u);
  const auto& box = desktop.Shown()[1];
  EXPECT_EQ(box.caption, Application->GetTitle());
  ASSERT_FALSE(box.texts.empty());
  EXPECT_EQ(box.texts[0], "'abc' is not a valid integer value.");
  EXPECT_EQ(box.messageBoxType & MB_ICONMASK, static_cast<UINT>(MB_ICONSTOP));
}

TEST_F(Forms, ControlsAreChildWindowsAPersonCanOperate) {
  TForm form(nullptr);
  form.SetCaption("Controls");
  auto* label = new TLabel(&form);
  label->SetParent(&form);
  label->SetCaption("Name:");
  auto* edit = new TEdit(&form);
  edit->SetParent(&form);
  auto* list = new TListBox(&form);
  list->SetParent(&form);
  list->GetItems()->Add("Flatbed");
  list->GetItems()->Add("Feeder");
  auto* ok = new TButton(&form);
  ok->SetParent(&form);
  ok->SetCaption("&Done");
  ok->SetModalResult(mrOk);
  int changes = 0;
  edit->OnChange = [&](TObject*) { ++changes; };
  int picks = 0;
  list->OnClick = [&](TObject*) { ++picks; };

  desktop.Type("Page 1", "Controls").Pick("Feeder", "Controls").Press("Done", "Controls");
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(edit->GetText(), "Page 1");
  EXPECT_GE(changes, 1);
  EXPECT_EQ(list->GetItemIndex(), 1);
  EXPECT_EQ(picks, 1);
  const auto& shown = desktop.Shown().at(0);
  EXPECT_EQ(shown.texts, (std::vector<std::string>{"Name:"}));
  EXPECT_EQ(shown.items, (std::vector<std::string>{"Flatbed", "Feeder"}));
  EXPECT_EQ(GetParentForm(ok), &form);
  EXPECT_EQ(GetParent(ok->GetHandle()), form.GetHandle());
  EXPECT_EQ(FindControl(edit->GetHandle()), edit);
}

TEST_F(Forms, ApplicationScreenAndAToolWindowForm) {
  ASSERT_NE(Application, nullptr);
  EXPECT_TRUE(IsWindow(Application->GetHandle()));
  EXPECT_FALSE(IsWindowVisible(Application->GetHandle()));
  char cls[32] = {};
  GetClassNameA(Application->GetHandle(), cls, sizeof cls);
  EXPECT_STREQ(cls, "TApplication");
  EXPECT_EQ(Application->GetTitle(), "vcl_forms_tests");

  TForm* created = nullptr;
  Application->CreateForm(created);
  std::unique_ptr<TForm> owned(created);
  EXPECT_EQ(Application->GetMainForm(), created);
  EXPECT_EQ(created->GetOwner(), Application);

  TForm proxy(nullptr);
  proxy.SetBorderStyle(bsToolWindow);
  proxy.SetCaption("TScanner ProxyWindow");
  const TSize extent = proxy.GetCanvas()->TextExtent(proxy.GetCaption());
  proxy.SetBounds(0, 0, extent.cx, extent.cy);
  const int before = Screen->GetFormCount();
  proxy.Show();
  EXPECT_EQ(Screen->GetFormCount(), before);
  EXPECT_EQ(Screen->GetActiveForm(), &proxy);
  EXPECT_TRUE(GetWindowLongPtrA(proxy.GetHandle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  RECT r{};
  GetWindowRect(proxy.GetHandle(), &r);
  EXPECT_EQ(r.right - r.left, extent.cx);
  proxy.SetFocus();
  EXPECT_TRUE(proxy.Focused());
  Application->BringToFront();
  EXPECT_EQ(GetForegroundWindow(), proxy.GetHandle());
  owned.reset();
  EXPECT_EQ(Application->GetMainForm(), nullptr);
}

}  // namespace

namespace {

TEST_F(Forms, AFormFileKeepsControlsInsideTheirParents) {
  TForm form(nullptr);
  form.SetName("AboutBox");
  form.SetCaption("About");
  form.SetBorderStyle(bsDialog);
  auto* panel = new TPanel(&form);
  panel->SetName("Panel1");
  panel->SetParent(&form);
  auto* label = new TLabel(&form);
  label->SetName("Version");
  label->SetParent(panel);
  label->SetCaption("Version 5.0");
  auto* ok = new TButton(&form);
  ok->SetName("OKButton");
  ok->SetParent(&form);
  ok->SetCaption("OK");
  ok->SetModalResult(mrOk);
  const std::string text = ComponentToText(&form);

  TForm back(nullptr);
  TextToComponent(text, &back);
  EXPECT_EQ(back.GetCaption(), "About");
  EXPECT_EQ(back.GetBorderStyle(), bsDialog);
  ASSERT_EQ(back.ControlCount(), 2) << text;
  auto* panelBack = dynamic_cast<TPanel*>(back.Controls(0));
  ASSERT_NE(panelBack, nullptr);
  ASSERT_EQ(panelBack->ControlCount(), 1);
  EXPECT_EQ(panelBack->Controls(0)->GetCaption(), "Version 5.0");
  auto* okBack = dynamic_cast<TButton*>(back.Controls(1));
  ASSERT_NE(okBack, nullptr);
  EXPECT_EQ(okBack->GetModalResult(), mrOk);
  EXPECT_EQ(ComponentToText(&back), text);

  desktop.Press("OK", "About");
  EXPECT_EQ(back.ShowModal(), mrOk);
  EXPECT_EQ(desktop.Shown().at(0).texts, (std::vector<std::string>{"Version 5.0"}));
}

}  // namespace

namespace {

TEST_F(Forms, ReleaseDeletesTheFormFromTheMessageLoop) {
  auto* form = new TForm(nullptr);
  form->SetCaption("Transient");
  bool destroyed = false;
  form->OnDestroy = [&](TObject*) { destroyed = true; };
  form->OnClose = [](TObject*, TCloseAction& action) { action = caFree; };
  form->Show();
  form->Close();
  EXPECT_FALSE(destroyed);  // not while its own code may still run
  Application->ProcessMessages();
  EXPECT_TRUE(destroyed);
}

// Run ends when the main form closes (Terminated stays set, so it runs in a child process).
TEST(FormsDeathTest, RunShowsTheMainFormAndEndsWhenItCloses) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ScriptedDesktop desktop;
        ScopedDesktop scope(desktop);
        TForm* main = nullptr;
        Application->CreateForm(main);
        main->SetCaption("Main window");
        desktop.Close("Main window");
        Application->Run();
        std::exit(Application->Terminated() && desktop.Shown().size() == 1 ? 7 : 1);
      },
      ::testing::ExitedWithCode(7), "");
}

}  // namespace

namespace {

TEST_F(Forms, AHandlerFailingOnAPressedButtonIsShownAndTheModalLoopGoesOn) {
  TForm form(nullptr);
  form.SetCaption("Scan");
  auto* go = new TButton(&form);
  go->SetParent(&form);
  go->SetCaption("Go");
  int presses = 0;
  go->OnClick = [&](TObject*) {
    if (++presses == 1) throw EConvertError("'-5' is not a valid resolution");
  };
  auto* done = new TButton(&form);
  done->SetParent(&form);
  done->SetCaption("Done");
  done->SetModalResult(mrOk);
  desktop.Press("Go", "Scan").Press("OK", Application->GetTitle()).Press("Done", "Scan");
  EXPECT_EQ(form.ShowModal(), mrOk);
  ASSERT_GE(desktop.Shown().size(), 2u);
  EXPECT_EQ(desktop.Shown()[1].texts.at(0), "'-5' is not a valid resolution.");
  EXPECT_TRUE(desktop.Remaining().empty());
}

}  // namespace
