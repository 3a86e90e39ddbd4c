// The standard controls as a person operates them through the desktop, and as code sets them: which
// events fire for what (a change in code, a click, a real change of a slider's position), what the
// desktop reads back, and what a form file may say about them.
#include <korven/desktop.h>
#include <vcl/ComCtrls.h>
#include <vcl/ExtCtrls.h>
#include <vcl/Forms.h>
#include <vcl/StdCtrls.h>

#include <memory>
#include <string>
#include <vector>

#include "testsupport.h"

using namespace vcl;
namespace kp = korven::platform;

namespace {

class Controls : public korven::test::KorvenTest {
 protected:
  kp::ScriptedDesktop desktop;
  kp::ScopedDesktop scope{desktop};
  std::unique_ptr<TForm> form = MakeForm();
  std::vector<std::string> events;

  // The form goes before the fixture counts what is left.
  void TearDown() override {
    form.reset();
    KorvenTest::TearDown();
  }

  static std::unique_ptr<TForm> MakeForm() {
    auto f = std::make_unique<TForm>(nullptr);
    f->SetCaption("Controls");
    f->SetBorderStyle(bsDialog);
    f->SetClientWidth(300);
    f->SetClientHeight(200);
    return f;
  }

  template <class T>
  T* Add(const std::string& name, int left, int top) {
    auto* c = new T(form.get());
    c->SetName(name);
    c->SetParent(form.get());
    c->SetLeft(left);
    c->SetTop(top);
    return c;
  }

  TButton* AddOk() {
    auto* ok = Add<TButton>("ButtonOK", 200, 160);
    ok->SetCaption("OK");
    ok->SetModalResult(mrOk);
    return ok;
  }

  // Runs the form modally with the steps queued, expecting OK.
  void Run() {
    desktop.Press("OK", "Controls");
    ASSERT_EQ(form->ShowModal(), mrOk);
    EXPECT_TRUE(desktop.Remaining().empty());
  }

  kp::ShownControl Read(const std::string& control) { return kp::ReadControl(form->GetHandle(), control); }
};

TEST_F(Controls, ACheckBoxClicksForEveryChangeOfItsStateButNotWhileRead) {
  auto* box = Add<TCheckBox>("CheckFeeder", 8, 8);
  box->SetCaption("&FeederEnabled");
  box->OnClick = [&](TObject*) { events.push_back(box->GetChecked() ? "on" : "off"); };
  AddOk();
  box->SetChecked(true);  // in code: a click too, as in the framework
  box->SetChecked(true);  // no change, no click
  EXPECT_EQ(events, (std::vector<std::string>{"on"}));

  desktop.Do("read the box", [&] {
    EXPECT_EQ(Read("FeederEnabled").checked, BST_CHECKED);
    return true;
  });
  desktop.Check("FeederEnabled", false, "Controls").Check("FeederEnabled", false, "Controls");
  Run();
  EXPECT_EQ(events, (std::vector<std::string>{"on", "off"}));  // the second Check found it unchecked
  EXPECT_FALSE(box->GetChecked());

  // A form file's value is taken without a click.
  TextToComponent("object CheckFeeder: TCheckBox\n  Checked = True\nend\n", box);
  EXPECT_TRUE(box->GetChecked());
  EXPECT_EQ(events.size(), 2u);
}

TEST_F(Controls, ComboBoxesOfBothStyles) {
  auto* list = Add<TComboBox>("ComboPaperSize", 8, 8);
  list->SetStyle(csDropDownList);
  const char* sizes[] = {"psCustom", "psA5", "psA4"};
  for (int i = 0; i < 3; ++i) list->GetItems()->AddObject(sizes[i], reinterpret_cast<TObject*>(static_cast<intptr_t>(i)));
  auto* edit = Add<TComboBox>("ComboResolution", 8, 40);
  edit->GetItems()->SetCommaText("75,150,300");
  auto* other = Add<TEdit>("EditOther", 8, 80);
  AddOk();
  for (TComboBox* c : {list, edit}) {
    c->OnClick = [&, c](TObject*) { events.push_back(c->GetName() + ".click:" + c->GetText()); };
    c->OnChange = [&, c](TObject*) { events.push_back(c->GetName() + ".change:" + c->GetText()); };
    c->OnExit = [&, c](TObject*) { events.push_back(c->GetName() + ".exit:" + c->GetText()); };
  }

  // In code: no events. Text of a list selects the item; an index of -1 empties an editable field.
  list->SetText("psA4");
  EXPECT_EQ(list->GetItemIndex(), 2);
  EXPECT_EQ(reinterpret_cast<intptr_t>(list->GetItems()->GetObject(list->GetItemIndex())), 2);
  list->SetText("psB5");
  EXPECT_EQ(list->GetItemIndex(), -1);
  edit->SetItemIndex(1);
  EXPECT_EQ(edit->GetText(), "150");
  edit->SetText("999");
  EXPECT_EQ(edit->GetText(), "999");
  EXPECT_EQ(edit->GetItemIndex(), 1);  // typing leaves the list's selection alone
  edit->SetItemIndex(-1);
  EXPECT_EQ(edit->GetText(), "");
  EXPECT_TRUE(events.empty());

  // A person: choosing fires OnClick then OnChange; typing fires OnChange for each character; the
  // focus leaving fires OnExit.
  desktop.Pick("psA5", "Controls", "ComboPaperSize")
      .Type("42", "Controls", "ComboResolution")
      .Pick("300", "Controls", "ComboResolution")
      .Focus("EditOther", "Controls");
  Run();
  EXPECT_EQ(events, (std::vector<std::string>{
                        "ComboPaperSize.click:psA5", "ComboPaperSize.change:psA5", "ComboPaperSize.exit:psA5",
                        "ComboResolution.change:4", "ComboResolution.change:42", "ComboResolution.click:300",
                        "ComboResolution.change:300", "ComboResolution.exit:300"}));
  EXPECT_EQ(form->GetActiveControl(), form->FindComponent("ButtonOK"));
  (void)other;
}

// What typing leaves in an edit box whose OnKeyPress lets only digits, '.' and backspace through.
struct TypedCase {
  const char* name;
  const char* before;
  const char* typed;
  int maxLength;
  const char* after;
};

class EditTyping : public Controls, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(EditTyping, KeysTheHandlerDiscardsNeverArrive) {
  const TypedCase& c = GetParam();
  auto* edit = Add<TEdit>("EditLeft", 8, 8);
  edit->SetText(c.before);
  edit->SetMaxLength(c.maxLength);
  edit->OnKeyPress = [](TObject*, char& key) {
    if (key != '\b' && key != '.' && (key < '0' || key > '9')) key = 0;
  };
  int changes = 0;
  edit->OnChange = [&](TObject*) { ++changes; };
  AddOk();
  desktop.Type(c.typed, "Controls", "EditLeft");
  Run();
  EXPECT_EQ(edit->GetText(), c.after);
  EXPECT_EQ(changes > 0, std::string(c.after) != c.before);
  EXPECT_EQ(Read("EditLeft").text, c.after);
}

const TypedCase kTypedCases[] = {
    {"DigitsAndPointReplaceTheText", "1", "12.5", 0, "12.5"},
    {"MinusCommaAndLettersAreDiscarded", "7", "-1,5e", 0, "15"},
    {"NothingTypedClearsTheBox", "300", "", 0, ""},
    {"OnlyDiscardedKeysLeaveTheTextSelectedAndThere", "300", "-", 0, "300"},
    {"MaxLengthStopsTyping", "", "123456", 4, "1234"},
};
INSTANTIATE_TEST_SUITE_P(Keys, EditTyping, ::testing::ValuesIn(kTypedCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Controls, ALabelsAcceleratorFocusesItsControlAndTheFocusLeavingFiresOnExit) {
  auto* label = Add<TLabel>("Label3", 8, 8);
  label->SetCaption("Data&Source:");
  auto* first = Add<TEdit>("EditFirst", 100, 40);
  auto* combo = Add<TComboBox>("ComboDataSource", 100, 8);
  label->SetFocusControl(combo);
  combo->OnExit = [&](TObject*) { events.push_back("exit:" + combo->GetText()); };
  first->OnEnter = [&](TObject*) { events.push_back("enter:first"); };
  AddOk();
  EXPECT_LT(label->GetTabOrder(), 0);  // labels take no focus

  desktop.Accelerator('s', "Controls")
      .Do("the combo box has the focus", [&] {
        EXPECT_TRUE(combo->Focused());
        EXPECT_EQ(Read("DataSource").hwnd, combo->GetHandle());  // named by its label
        return true;
      })
      .Type("Virtual Scanner", "Controls", "DataSource")
      .Focus("EditFirst", "Controls");
  Run();
  EXPECT_EQ(events, (std::vector<std::string>{"enter:first", "exit:Virtual Scanner", "enter:first"}));
}

TEST_F(Controls, TabMovesThroughTheControlsInTabOrderAndAButtonPressLeavesTheField) {
  auto* a = Add<TEdit>("EditA", 8, 8);
  auto* b = Add<TEdit>("EditB", 8, 40);
  auto* c = Add<TEdit>("EditC", 8, 72);
  auto* ok = AddOk();
  c->SetTabOrder(0);
  a->SetTabOrder(2);
  EXPECT_EQ(b->GetTabOrder(), 1);
  EXPECT_EQ(ok->GetTabOrder(), 3);
  for (TEdit* e : {a, b, c}) e->OnExit = [&, e](TObject*) { events.push_back(e->GetName()); };
  std::vector<std::string> focus;
  auto where = [&] {
    for (TWinControl* w : std::initializer_list<TWinControl*>{a, b, c, ok})
      if (w->Focused()) focus.push_back(w->GetName());
    return true;
  };
  // Shown, the focus goes to the first control in tab order.
  desktop.Do("where", where).Tab("Controls").Do("where", where).Tab("Controls").Do("where", where);
  desktop.Tab("Controls", true).Do("where", where);
  Run();
  EXPECT_EQ(focus, (std::vector<std::string>{"EditC", "EditB", "EditA", "EditB"}));
  EXPECT_EQ(events, (std::vector<std::string>{"EditC", "EditB", "EditA", "EditB"}));  // the last by OK
}

TEST_F(Controls, AnErrorWhileLeavingAFieldShowsAndTheButtonClickIsLost) {
  auto* edit = Add<TEdit>("EditLeft", 8, 8);
  edit->OnExit = [&](TObject*) {
    if (edit->GetText() == "abc") throw EConvertError("'abc' is not a valid floating point value");
  };
  auto* ok = AddOk();
  int clicks = 0;
  ok->OnClick = [&](TObject*) { ++clicks; };
  desktop.Type("abc", "Controls", "EditLeft")
      .Press("OK", "Controls")                 // the focus leaves the box: the error box appears...
      .Press("OK", Application->GetTitle())    // ...is answered, and the click is gone
      .Type("1.5", "Controls", "EditLeft");
  Run();  // the final OK: the box is left again, now without an error
  EXPECT_EQ(clicks, 1);
  ASSERT_GE(desktop.Shown().size(), 2u);
  EXPECT_EQ(desktop.Shown()[1].texts.at(0), "'abc' is not a valid floating point value.");
}

// Track bars: OnChange counts for what each step does.
struct SlideCase {
  const char* name;
  std::function<void(TTrackBar*)> act;
  int min, max, position;
  int changes;
};

class TrackBars : public Controls, public ::testing::WithParamInterface<SlideCase> {};

TEST_P(TrackBars, OnChangeFiresOnlyWhenThePositionReallyChanges) {
  const SlideCase& c = GetParam();
  auto* bar = Add<TTrackBar>("BarGamma", 8, 8);
  bar->SetParams(5, 0, 10);
  int changes = 0;
  bar->OnChange = [&](TObject*) { ++changes; };
  c.act(bar);
  EXPECT_EQ(bar->GetMin(), c.min);
  EXPECT_EQ(bar->GetMax(), c.max);
  EXPECT_EQ(bar->GetPosition(), c.position);
  EXPECT_EQ(changes, c.changes);
}

const SlideCase kSlideCases[] = {
    {"SamePosition", [](TTrackBar* b) { b->SetPosition(5); }, 0, 10, 5, 0},
    {"NewPosition", [](TTrackBar* b) { b->SetPosition(7); }, 0, 10, 7, 1},
    {"PositionBeyondMaxIsClamped", [](TTrackBar* b) { b->SetPosition(70); }, 0, 10, 10, 1},
    {"RangeThatKeepsThePosition", [](TTrackBar* b) { b->SetMin(-1000), b->SetMax(1000); }, -1000, 1000, 5, 0},
    {"RangeThatMovesThePosition", [](TTrackBar* b) { b->SetMin(25), b->SetMax(400); }, 25, 400, 25, 1},
    {"MaxBelowMinLowersMin", [](TTrackBar* b) { b->SetMax(-5); }, -5, -5, -5, 1},
    {"ScaledStepZero", [](TTrackBar* b) { b->SetFrequency(0), b->SetLineSize(0), b->SetPageSize(0); }, 0, 10, 5, 0},
};
INSTANTIATE_TEST_SUITE_P(Bars, TrackBars, ::testing::ValuesIn(kSlideCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Controls, APersonMovesTheSliderAndReadsWhatTheBarShows) {
  auto* bar = Add<TTrackBar>("BarBrightness", 8, 8);
  bar->SetParams(0, -1000, 1000);
  bar->SetTickMarks(tmBoth);
  bar->SetTickStyle(tsNone);
  bar->SetHint("Not Supported");
  bar->SetShowHint(true);
  std::vector<int> seen;
  bar->OnChange = [&](TObject*) { seen.push_back(bar->GetPosition()); };
  AddOk();
  desktop.Slide("BarBrightness", 15, "Controls")
      .Slide("BarBrightness", 15, "Controls")  // already there: nothing changes
      .Do("read", [&] {
        const kp::ShownControl c = Read("BarBrightness");
        EXPECT_EQ(c.position, 15);
        EXPECT_EQ(c.rangeMin, -1000);
        EXPECT_EQ(c.rangeMax, 1000);
        EXPECT_TRUE(c.sliderVisible);
        EXPECT_EQ(c.hint, "Not Supported");
        bar->SetSliderVisible(false);
        EXPECT_FALSE(Read("BarBrightness").sliderVisible);
        EXPECT_EQ(GetWindowLongPtrA(bar->GetHandle(), GWL_STYLE) & (TBS_NOTICKS | TBS_BOTH), TBS_NOTICKS | TBS_BOTH);
        return true;
      })
      .Key(VK_RIGHT, "Controls");  // the keys move it by LineSize
  Run();
  EXPECT_EQ(seen, (std::vector<int>{15, 16}));
}

}  // namespace
