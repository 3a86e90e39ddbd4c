// The scanner editor form, operated as a person would through the scripted desktop, against the real
// manager and virtual scanners: every handler of the form (what it writes, whether it refreshes, and
// that the guarded ones keep still while the form fills its controls), the bars' scale factors,
// unsupported ranges, the combo boxes' rules, the frame edits, Reset, test scans, Abort, and what OK,
// Cancel and failures leave in the designer.
#include <korven/snapshot.h>
#include <korven/twainh.h>
#include <vcl/Dialogs.h>

#include <cmath>

#include "korvends_support.h"

namespace korven::test {
namespace {

const char* const kBasic = "基本設定";
const char* const kControl = "イメージ設定";
const char* const kImage = "イメージ調整";
const char* const kFeeder = "オートフィーダー";
const char* const kTest = "テスト";

using Editor = KorvendsTest::Editor;
using Action = std::function<void(Editor&)>;

// What a person does, through the platform's desktop functions (each asserts that it could act).
Action Check(const char* control, bool on) {
  return [=](Editor& e) { ASSERT_TRUE(kp::SetCheck(e.hwnd, control, on)) << control; };
}
Action Pick(const char* control, const char* item) {
  return [=](Editor& e) { ASSERT_TRUE(kp::PickItem(e.hwnd, item, control)) << control << " " << item; };
}
Action TypeAndLeave(const char* control, const char* text, const char* next) {
  return [=](Editor& e) {
    ASSERT_TRUE(kp::TypeText(e.hwnd, text, control)) << control;
    ASSERT_TRUE(kp::FocusOn(e.hwnd, next)) << next;
  };
}
Action Type(const char* control, const char* text) {
  return [=](Editor& e) { ASSERT_TRUE(kp::TypeText(e.hwnd, text, control)) << control; };
}
Action Press(const char* caption) {
  return [=](Editor& e) { ASSERT_TRUE(kp::PressButton(e.hwnd, U(caption))) << caption; };
}
Action SlideTo(const char* control, int position) {
  return [=](Editor& e) { ASSERT_TRUE(kp::Slide(e.hwnd, control, position)) << control; };
}

// One row of the form's handler table.
struct HandlerCase {
  const char* name;
  const char* tab;  // the page the control is on
  Action act;
  std::function<bool(Editor&)> wrote;  // the handler's effect on the working scanner is there
  bool refresh;                        // UpdateInfo runs after the write
  bool guarded;                        // does nothing while UpdateInfo runs
  std::function<void(TScanner&)> setup = nullptr;  // the edited component before the verb
  Action prepare = nullptr;                         // inside the form, before the act
  std::vector<const char*> answers = {};            // buttons pressed in windows the act opens
};
void PrintTo(const HandlerCase& c, std::ostream* os) { *os << c.name; }

void Custom(TScanner& s) { s.SetPaperSize(psCustom); }

const std::vector<HandlerCase>& HandlerCases() {
  static const std::vector<HandlerCase> cases = {
      {"CheckUseDefaultSourceClick", kBasic, Check("CheckUseDefaultSource", true),
       [](Editor& e) { return e.scanner().GetUseDefaultSource(); }, true, true},
      {"CheckUseCurrentValueClick", kBasic, Check("CheckUseCurrentValue", true),
       [](Editor& e) { return e.scanner().GetUseCurrentValue(); }, true, true},
      {"CheckShowUIClick", kBasic, Check("CheckShowUI", true), [](Editor& e) { return e.scanner().GetShowUI(); },
       false, true},
      {"CheckShowIndicatorClick", kBasic, Check("CheckShowIndicator", false),
       [](Editor& e) { return !e.scanner().GetShowIndicator(); }, false, true},
      {"ComboDataSourceClick", kBasic, Pick("ComboDataSource", "Second Scanner"),
       [](Editor& e) { return e.scanner().GetSourceName() == "Second Scanner"; }, true, true},
      {"ComboDataSourceExit", kBasic, TypeAndLeave("ComboDataSource", "Typed Name", "CheckShowUI"),
       [](Editor& e) { return e.scanner().GetSourceName() == "Typed Name"; }, false, true},
      {"ComboPixelTypeClick", kControl, Pick("ComboPixelType", "ptGray"),
       [](Editor& e) { return e.scanner().GetPixelType() == ptGray; }, true, false},
      {"ComboUnitModeClick", kControl, Pick("ComboUnitMode", "umCm"),
       [](Editor& e) { return e.scanner().GetUnitMode() == umCm; }, true, false},
      {"ComboResolutionClick", kControl, Pick("ComboResolution", "600"),
       [](Editor& e) { return e.scanner().GetResolution()->GetValue() == 600; }, true, false},
      {"ComboResolutionExit", kControl, TypeAndLeave("ComboResolution", "150", "ComboPaperSize"),
       [](Editor& e) { return e.scanner().GetResolution()->GetValue() == 150; }, true, false},
      {"ComboPaperSizeClick", kControl, Pick("ComboPaperSize", "psA5"),
       [](Editor& e) { return e.scanner().GetPaperSize() == psA5 && e.form.EditWidth->GetText() == "5.83"; }, true,
       false},
      {"EditLeftExitWithTag0", kControl, TypeAndLeave("EditLeft", "1.5", "ComboPaperSize"),
       [](Editor& e) { return e.scanner().GetFrameLeft() == 1.5f; }, true, false, Custom},
      {"EditLeftExitWithTag1", kControl, TypeAndLeave("EditTop", "0.5", "ComboPaperSize"),
       [](Editor& e) { return e.scanner().GetFrameTop() == 0.5f; }, true, false, Custom},
      {"EditLeftExitWithTag2", kControl, TypeAndLeave("EditWidth", "2.5", "ComboPaperSize"),
       [](Editor& e) { return e.scanner().GetFrameWidth() == 2.5f; }, true, false, Custom},
      {"EditLeftExitWithTag3", kControl, TypeAndLeave("EditHeight", "3.5", "ComboPaperSize"),
       [](Editor& e) { return e.scanner().GetFrameHeight() == 3.5f; }, true, false, Custom},
      // Only backspace, '.' and digits pass: no minus sign, comma or letter reaches the box.
      {"EditPaperSizeKeyPress", kControl, Type("EditLeft", "-1,5a.2"),
       [](Editor& e) { return e.form.EditLeft->GetText() == "15.2"; }, false, false, Custom},
      {"CheckAutoBrightClick", kImage, Check("CheckAutoBright", true),
       [](Editor& e) { return e.scanner().GetAutoBright(); }, false, true},
      {"CheckFeederEnabledClick", kFeeder, Check("CheckFeederEnabled", true),
       [](Editor& e) { return e.scanner().GetFeederEnabled(); }, true, true},
      {"CheckAutoFeedEnabledClick", kFeeder, Check("CheckAutoFeedEnabled", true),
       [](Editor& e) { return e.scanner().GetAutoFeedEnabled(); }, true, true},
      {"BarControlChange", kImage, SlideTo("BarGamma", 15),
       [](Editor& e) { return e.scanner().GetGamma()->GetValue() == 1.5f && e.form.LabelGamma->GetCaption() == "1.5"; },
       false, true},
      {"CmdOpenClick", kBasic, Press("&Open"),
       [](Editor& e) {
         return e.scanner().GetActive() && !e.form.CmdOpen->GetEnabled() && e.form.CmdClose->GetEnabled();
       },
       true, false},
      {"CmdCloseClick", kBasic, Press("&Close"),
       [](Editor& e) {
         return !e.scanner().GetActive() && e.form.CmdOpen->GetEnabled() && !e.form.CmdClose->GetEnabled();
       },
       true, false, nullptr, Press("&Open")},
      {"CmdResetClick", kBasic, Press("&Reset"),
       [](Editor& e) { return e.scanner().GetBrightness()->GetValue() == 0; }, true, false,
       [](TScanner& s) { s.GetBrightness()->SetValue(500); }, nullptr, {"OK"}},
      {"CmdScanClick", kTest, Press("スキャン(&S)"),
       [](Editor& e) {
         return !e.form.Image1->GetPicture()->GetBitmap()->GetEmpty() &&
                e.form.LabelImageInfo->GetCaption().rfind("W=", 0) == 0;
       },
       true, false},
  };
  return cases;
}

class Handlers : public KorvendsTest, public ::testing::WithParamInterface<HandlerCase> {};

TEST_P(Handlers, WriteTheWorkingScannerAndRefreshAsTheTableSaysLeavingTheComponentAlone) {
  const HandlerCase& c = GetParam();
  if (c.setup) c.setup(*scanner);
  std::string before = Streamed();
  bool checked = false;
  InEditor(
      [&](Editor& e) {
        ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(c.tab)));
        if (c.prepare) c.prepare(e);
        e.form.LabelBitDepth->SetCaption("stale");
        ASSERT_FALSE(c.wrote(e)) << "already there before the act";
        c.act(e);
        EXPECT_TRUE(c.wrote(e));
        EXPECT_EQ(e.form.LabelBitDepth->GetCaption() != "stale", c.refresh) << "refresh";
        checked = true;
      },
      "cancel",
      [&](kp::ScriptedDesktop& d) {
        for (const char* a : c.answers) d.Press(U(a));
      });
  EXPECT_TRUE(checked);
  EXPECT_EQ(Streamed(), before);
  EXPECT_FALSE(designer->IsModified());
}

INSTANTIATE_TEST_SUITE_P(Table, Handlers, ::testing::ValuesIn(HandlerCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The guarded handlers, run from inside UpdateInfo (the brightness bar's change notification, which
// the refill itself causes, lets the test act at that moment): nothing is written.
class GuardedHandlers : public KorvendsTest, public ::testing::WithParamInterface<HandlerCase> {};

TEST_P(GuardedHandlers, DoNothingWhileTheFormFillsItsControls) {
  const HandlerCase& c = GetParam();
  bool acted = false;
  InEditor([&](Editor& e) {
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(c.tab)));
    vcl::TNotifyEvent original = e.form.BarBrightness->OnChange;
    e.form.BarBrightness->OnChange = [&](vcl::TObject* sender) {
      if (original) original(sender);
      if (e.form.Updating() && !acted) {
        acted = true;
        c.act(e);
      }
    };
    TScanRange* brightness = e.scanner().GetBrightness();
    brightness->SetValue(brightness->GetValue() + 100);  // the refill moves the bar
    e.form.UpdateInfo();
    e.form.BarBrightness->OnChange = original;
    EXPECT_FALSE(c.wrote(e));
    EXPECT_EQ(brightness->GetValue(), 100);  // and the bar's own notification wrote nothing either
  });
  EXPECT_TRUE(acted);
}

std::vector<HandlerCase> Guarded() {
  std::vector<HandlerCase> r;
  for (const auto& c : HandlerCases())
    if (c.guarded) r.push_back(c);
  return r;
}
INSTANTIATE_TEST_SUITE_P(Table, GuardedHandlers, ::testing::ValuesIn(Guarded()),
                         [](const auto& info) { return std::string(info.param.name); });

using KorvendsEditor = KorvendsTest;

TEST_F(KorvendsEditor, AFrameEditWithAnotherTagWritesNothingButRefreshes) {
  scanner->SetPaperSize(psCustom);
  InEditor([&](Editor& e) {
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kControl)));
    e.form.EditLeft->SetTag(7);
    TScanRect frame = e.scanner().GetFrameRect();
    e.form.LabelBitDepth->SetCaption("stale");
    TypeAndLeave("EditLeft", "1.5", "ComboPaperSize")(e);
    EXPECT_EQ(e.scanner().GetFrameRect(), frame);
    EXPECT_EQ(e.form.EditLeft->GetText(), "0");  // refreshed from the unchanged frame
    EXPECT_EQ(e.form.LabelBitDepth->GetCaption(), "(24bit)");
  });
}

// ---- OK, Cancel and failures --------------------------------------------------------------------

TEST_F(KorvendsEditor, OkCopiesTheWorkingScannerBackAndMarksTheDesignerModifiedEvenWithoutAChange) {
  std::string before = Streamed();
  InEditor([](Editor&) {}, "OK");
  EXPECT_EQ(designer->ModifiedCount(), 1);
  EXPECT_EQ(Streamed(), before);
  ASSERT_FALSE(desktop.Shown().empty());
  EXPECT_EQ(desktop.Shown()[0].caption, U("TScanner プロパティエディタ Version 5.0.2"));

  designer->ResetModified();
  InEditor(
      [](Editor& e) {
        ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kControl)));
        Pick("ComboPixelType", "ptGray")(e);
      },
      "OK");
  EXPECT_EQ(scanner->GetPixelType(), ptGray);
  EXPECT_FALSE(scanner->GetActive());
  EXPECT_EQ(designer->ModifiedCount(), 1);
}

TEST_F(KorvendsEditor, CancelAfterATestScanAndChangesLeavesTheComponentsBytesAndTheDesignerAsTheyWere) {
  scanner->SetPaperSize(psCustom);
  std::string before = Streamed();
  InEditor([&](Editor& e) {
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kControl)));
    TypeAndLeave("EditWidth", "3", "ComboPaperSize")(e);
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kBasic)));
    Check("CheckShowIndicator", false)(e);
    Pick("ComboDataSource", "Second Scanner")(e);
    Press("&Open")(e);
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kControl)));
    Pick("ComboPixelType", "ptBlackWhite")(e);
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kImage)));
    SlideTo("BarContrast", 200)(e);
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kTest)));
    Press("スキャン(&S)")(e);
    EXPECT_FALSE(e.form.Image1->GetPicture()->GetBitmap()->GetEmpty());
  });
  EXPECT_EQ(Streamed(), before);
  EXPECT_FALSE(designer->IsModified());
  EXPECT_FALSE(scanner->GetActive());
}

// An edited component whose copy back fails, as a component of a derived class might.
class TFailingScanner : public TScanner {
 public:
  using TScanner::TScanner;
  void Assign(vcl::TPersistent* source) override {
    if (failCopyBack) throw vcl::EConvertError("cannot take the settings back");
    TScanner::Assign(source);
  }
  bool failCopyBack = true;
};

TEST_F(KorvendsEditor, AFailureBeforeTheFormShowsOrWhileCopyingBackFreesTheFormReachesTheCallerAndSkipsModified) {
  int forms = vcl::Screen->FormCount();
  // Not a scanner: the type test fails once the form exists, before it is shown.
  korven::TScannerEditor wrong(root.get(), designer.get());
  EXPECT_THROW(wrong.ExecuteVerb(0), vcl::EInvalidCast);
  EXPECT_THROW(wrong.ExecuteVerb(1), vcl::EInvalidCast);
  EXPECT_EQ(vcl::Screen->FormCount(), forms);
  EXPECT_TRUE(desktop.Shown().empty());

  // The copy back after OK fails: the error reaches the caller, the form goes, nothing is marked.
  auto* failing = new TFailingScanner(root.get());
  failing->SetName("Scanner2");
  failing->SetShowUI(false);
  desktop.Press("OK", "TScanner");
  EXPECT_THROW(vcl::GetComponentEditor(failing, designer.get())->ExecuteVerb(0), vcl::EConvertError);
  EXPECT_FALSE(designer->IsModified());
  EXPECT_EQ(vcl::Screen->FormCount(), forms);
  EXPECT_TRUE(desktop.Remaining().empty());
}

// ---- Bars ---------------------------------------------------------------------------------------

struct BarCase {
  const char* name;
  float min, max, step, value;
  int tag, barMin, barMax, lineSize, position;
  int slideTo;        // a position the person moves the slider to
  float slidValue;    // the value that gives
  const char* label;  // and shows
};
void PrintTo(const BarCase& c, std::ostream* os) { *os << c.name; }

class Bars : public KorvendsTest, public ::testing::WithParamInterface<BarCase> {};

TEST_P(Bars, TheScaleFactorComesFromTheStepAndTurnsPositionsIntoValues) {
  const BarCase& c = GetParam();
  scanner->GetBrightness()->SetParam(scBrightness, c.min, c.max, c.step, c.value, ICAP_BRIGHTNESS);
  InEditor([&](Editor& e) {
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kImage)));
    vcl::TTrackBar* bar = e.form.BarBrightness;
    EXPECT_EQ(bar->GetTag(), c.tag);
    EXPECT_EQ(bar->GetMin(), c.barMin);
    EXPECT_EQ(bar->GetMax(), c.barMax);
    EXPECT_EQ(bar->GetLineSize(), c.lineSize);
    EXPECT_EQ(bar->GetPageSize(), c.lineSize);
    EXPECT_EQ(bar->GetFrequency(), c.lineSize);
    EXPECT_EQ(bar->GetPosition(), c.position);
    EXPECT_TRUE(bar->GetSliderVisible());
    SlideTo("BarBrightness", c.slideTo)(e);
    EXPECT_FLOAT_EQ(e.scanner().GetBrightness()->GetValue(), c.slidValue);
    EXPECT_EQ(e.form.LabelBrightness->GetCaption(), c.label);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Steps, Bars,
    ::testing::Values(BarCase{"StepHalfScalesByTen", -100, 100, 0.5f, 2.5f, 10, -1000, 1000, 5, 25, 15, 1.5f, "1.5"},
                      BarCase{"StepHundredthScalesByHundred", 0.1f, 10, 0.01f, 1, 100, 10, 1000, 1, 100, 257, 2.57f,
                              "2.57"},
                      BarCase{"StepZeroScalesByOne", -10, 10, 0, 3, 1, -10, 10, 0, 3, -4, -4, "-4"},
                      BarCase{"WholeStepScalesByOne", 0, 255, 1, 128, 1, 0, 255, 1, 128, 200, 200, "200"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KorvendsEditor, ABarThatWasNeverFilledAsSupportedIgnoresItsChangesInsteadOfDividingByZero) {
  InEditor([&](Editor& e) {
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kImage)));
    e.form.BarShadow->SetTag(0);  // as a bar whose range has been unsupported from the start
    float before = e.scanner().GetShadow()->GetValue();
    std::string label = e.form.LabelShadow->GetCaption();
    SlideTo("BarShadow", 40)(e);
    EXPECT_EQ(e.scanner().GetShadow()->GetValue(), before);
    EXPECT_EQ(e.form.LabelShadow->GetCaption(), label);
  });
}

// ---- Pictures --------------------------------------------------------------------------------------

// Whether two pictures of the form differ inside the control's rectangle.
bool DiffersInside(const kp::WindowPicture& a, const kp::WindowPicture& b, HWND form, HWND control) {
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(form, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(form, GWL_EXSTYLE));
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const RECT r = kp::DescribeControl(control).rect;
  for (int y = r.top - frame.top; y < r.bottom - frame.top; ++y)
    for (int x = r.left - frame.left; x < r.right - frame.left; ++x)
      if (a.At(x, y) != b.At(x, y)) return true;
  return false;
}

TEST_F(KorvendsEditor, ThePictureOfTheFormHasItsClientSizeInItsFrameAndShowsWhichButtonIsDisabled) {
  InEditor([&](Editor& e) {
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kBasic)));
    const kp::WindowPicture closed = kp::RenderWindow(e.hwnd);
    RECT client{0, 0, e.form.GetClientWidth(), e.form.GetClientHeight()};
    AdjustWindowRectEx(&client, static_cast<DWORD>(GetWindowLongPtrA(e.hwnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrA(e.hwnd, GWL_EXSTYLE)));
    EXPECT_EQ(closed.width, client.right - client.left);
    EXPECT_EQ(closed.height, client.bottom - client.top);
    ASSERT_FALSE(e.form.CmdClose->GetEnabled());
    Press("&Open")(e);
    const kp::WindowPicture open = kp::RenderWindow(e.hwnd);
    EXPECT_TRUE(DiffersInside(closed, open, e.hwnd, e.form.CmdOpen->GetHandle()));
    EXPECT_TRUE(DiffersInside(closed, open, e.hwnd, e.form.CmdClose->GetHandle()));
  });
}

class Unsupported : public KorvendsTest {
 protected:
  void SetUp() override {
    firstConfig = "Unsupported = ICAP_GAMMA, ICAP_XRESOLUTION\n";
    KorvendsTest::SetUp();
  }
};

TEST_F(Unsupported, ANotSupportedBarHidesItsSliderKeepsItsScaleAndStillShowsItsValue) {
  InEditor([&](Editor& e) {
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kBasic)));
    vcl::TTrackBar* bar = e.form.BarGamma;
    EXPECT_EQ(bar->GetHint(), "Min=0, Max=10, Step=0.1");
    int tag = bar->GetTag(), min = bar->GetMin(), max = bar->GetMax();
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kImage)));
    const kp::WindowPicture before = kp::RenderWindow(e.hwnd);
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kBasic)));
    Press("&Open")(e);
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kImage)));
    EXPECT_TRUE(DiffersInside(before, kp::RenderWindow(e.hwnd), e.hwnd, bar->GetHandle()));  // no slider
    ASSERT_TRUE(e.scanner().GetActive());
    EXPECT_FALSE(e.scanner().GetGamma()->GetSupported());
    EXPECT_FALSE(bar->GetSliderVisible());
    EXPECT_EQ(bar->GetHint(), "Not Supported");
    EXPECT_EQ(e.form.LabelGamma->GetCaption(), vcl::FormatFloat("0.##", e.scanner().GetGamma()->GetValue()));
    EXPECT_EQ(bar->GetTag(), tag);
    EXPECT_EQ(bar->GetMin(), min);
    EXPECT_EQ(bar->GetMax(), max);
    // The supported ones show the source's limits.
    EXPECT_TRUE(e.form.BarContrast->GetSliderVisible());
    EXPECT_EQ(e.form.BarContrast->GetHint(), "Min=-1000, Max=1000, Step=1");
    // An unsupported resolution cannot be typed.
    EXPECT_FALSE(e.form.ComboResolution->GetEnabled());
  });
}

// ---- Combo boxes and frame edits ----------------------------------------------------------------

TEST_F(KorvendsEditor, APixelTypeOrUnitOutsideTheListsShowsNothingSelected) {
  scanner->SetPixelType(ptCMYK);
  scanner->SetUnitMode(umPoint);
  InEditor([&](Editor& e) {
    EXPECT_EQ(e.form.ComboPixelType->GetItemIndex(), -1);
    EXPECT_EQ(e.form.ComboPixelType->GetItems()->GetCommaText(), "ptBlackWhite,ptGray,ptRGB,ptPalette");
    EXPECT_EQ(e.form.ComboUnitMode->GetItemIndex(), -1);
    EXPECT_EQ(e.form.ComboUnitMode->GetItems()->GetCommaText(), "umInch,umCm,umPixel");
    EXPECT_EQ(e.form.LabelBitDepth->GetCaption(), "(24bit)");
  });
}

TEST_F(KorvendsEditor, TheResolutionBoxIsDisabledForPixels) {
  InEditor([&](Editor& e) {
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kControl)));
    EXPECT_TRUE(e.form.ComboResolution->GetEnabled());
    EXPECT_EQ(e.form.ComboResolution->GetText(), "50");
    Pick("ComboUnitMode", "umPixel")(e);
    EXPECT_FALSE(e.form.ComboResolution->GetEnabled());
    Pick("ComboUnitMode", "umInch")(e);
    EXPECT_TRUE(e.form.ComboResolution->GetEnabled());
  });
}

TEST_F(KorvendsEditor, OnlyACustomPaperSizeLetsTheFrameBeEditedAndAChosenSizeRefillsTheFrame) {
  InEditor([&](Editor& e) {
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kControl)));
    auto editsEnabled = [&] {
      int n = 0;
      for (vcl::TEdit* edit : {e.form.EditLeft, e.form.EditTop, e.form.EditWidth, e.form.EditHeight})
        n += edit->GetEnabled();
      return n;
    };
    EXPECT_EQ(e.form.ComboPaperSize->GetText(), "psA4");
    EXPECT_EQ(editsEnabled(), 0);
    EXPECT_FALSE(kp::TypeText(e.hwnd, "1", "EditLeft"));  // a person cannot type there
    Pick("ComboPaperSize", "psCustom")(e);
    EXPECT_EQ(editsEnabled(), 4);
    Pick("ComboPaperSize", "psLetter")(e);
    EXPECT_EQ(editsEnabled(), 0);
    EXPECT_EQ(e.form.EditWidth->GetText(), "8.5");
    EXPECT_EQ(e.form.EditHeight->GetText(), "11");
    EXPECT_EQ(e.form.EditLeft->GetText(), "0");
  });
}

TEST_F(KorvendsEditor, ASourceNameOffTheListIsKeptButShowsAsAnEmptyFieldAfterTheNextRefresh) {
  InEditor([&](Editor& e) {
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kBasic)));
    EXPECT_EQ(e.form.ComboDataSource->GetItems()->GetCommaText(), "\"Virtual Scanner\",\"Second Scanner\"");
    EXPECT_EQ(e.form.ComboDataSource->GetText(), "Virtual Scanner");
    EXPECT_EQ(e.form.ComboDataSource->GetItemIndex(), 0);
    TypeAndLeave("ComboDataSource", "Nowhere", "CheckShowUI")(e);
    EXPECT_EQ(e.scanner().GetSourceName(), "Nowhere");
    EXPECT_EQ(e.form.ComboDataSource->GetText(), "Nowhere");  // no refresh yet
    Check("CheckUseCurrentValue", true)(e);                 // a refresh
    EXPECT_EQ(e.form.ComboDataSource->GetText(), "");
    EXPECT_EQ(e.form.ComboDataSource->GetItemIndex(), -1);
    EXPECT_EQ(e.scanner().GetSourceName(), "Nowhere");
    // With the default source the name cannot be edited.
    Check("CheckUseDefaultSource", true)(e);
    EXPECT_FALSE(e.form.ComboDataSource->GetEnabled());
  });
}

// ---- Reset, conversion errors, scans ------------------------------------------------------------

TEST_F(KorvendsEditor, ResetAsksFirstAndACancelledQuestionChangesNothing) {
  scanner->GetBrightness()->SetValue(500);
  InEditor(
      [&](Editor& e) {
        ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kBasic)));
        Press("&Reset")(e);  // answered Cancel
        EXPECT_EQ(e.scanner().GetBrightness()->GetValue(), 500);
        Press("&Reset")(e);  // closed with its close box
        EXPECT_EQ(e.scanner().GetBrightness()->GetValue(), 500);
      },
      "cancel",
      [](kp::ScriptedDesktop& d) {
        d.Press("Cancel", "Information");
        d.Close("Information");
      });
  const kp::ShownWindow* question = nullptr;
  for (const auto& w : desktop.Shown())
    if (w.caption == "Information") question = &w;
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(question->texts,
            std::vector<std::string>{U("設定値が初期値にリセットされます\r\nリセットしてもいいですか？")});
  EXPECT_EQ(question->buttons, (std::vector<std::string>{"OK", "Cancel"}));
}

TEST_F(KorvendsEditor, TextThatIsNoNumberIsRefusedWithAMessageAndTheFormStaysOpenWithNothingWritten) {
  scanner->SetPaperSize(psCustom);
  bool stillOpen = false;
  InEditor(
      [&](Editor& e) {
        ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kControl)));
        e.form.LabelBitDepth->SetCaption("stale");
        TScanRect frame = e.scanner().GetFrameRect();
        kp::TypeText(e.hwnd, "abc", "ComboResolution");
        kp::FocusOn(e.hwnd, "ComboPaperSize");  // leaving raises; the message box is answered
        kp::TypeText(e.hwnd, "1..2", "EditLeft");
        kp::FocusOn(e.hwnd, "ComboPaperSize");
        EXPECT_EQ(e.scanner().GetResolution()->GetValue(), 50);
        EXPECT_EQ(e.scanner().GetFrameRect(), frame);
        EXPECT_EQ(e.form.LabelBitDepth->GetCaption(), "stale");
        stillOpen = e.form.GetVisible();
      },
      "cancel",
      [](kp::ScriptedDesktop& d) {
        d.Press("OK");
        d.Press("OK");
      });
  EXPECT_TRUE(stillOpen);
  std::vector<std::string> errors;
  for (const auto& w : desktop.Shown())
    if (w.messageBoxType) errors.push_back(w.texts.empty() ? "" : w.texts[0]);
  EXPECT_EQ(errors, (std::vector<std::string>{"'abc' is not a valid floating point value.",
                                              "'1..2' is not a valid floating point value."}));
}

TEST_F(KorvendsEditor, ATestScanShowsTheImageAndDescribesItBeforeIt) {
  InEditor([&](Editor& e) {
    ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kTest)));
    EXPECT_EQ(e.form.LabelImageInfo->GetCaption(), "");
    EXPECT_TRUE(e.form.CmdScan->GetEnabled());
    EXPECT_FALSE(e.form.CmdAbort->GetEnabled());
    Press("スキャン(&S)")(e);
    EXPECT_EQ(e.form.LabelImageInfo->GetCaption(), "W=413, H=584 PixelType=ptRGB (24Bits) XRes=50, YRes=50");
    vcl::TBitmap* shown = e.form.Image1->GetPicture()->GetBitmap();
    EXPECT_EQ(shown->GetWidth(), e.form.Image1->GetWidth());
    EXPECT_EQ(shown->GetHeight(), e.form.Image1->GetHeight());
    // Drawn aspect-true and centred: the page's white in the middle.
    EXPECT_NE(shown->GetCanvas()->GetPixels(shown->GetWidth() / 2, shown->GetHeight() / 2), vcl::clBlack);
    EXPECT_TRUE(e.form.CmdScan->GetEnabled());
    EXPECT_FALSE(e.form.CmdAbort->GetEnabled());
    EXPECT_FALSE(e.scanner().GetActive());  // activated for the scan only
  });
}

bool SourceDialogUp() {
  for (HWND w : kp::VisibleWindows())
    if (kp::Describe(w).caption == "Virtual Scanner") return true;
  return false;
}

// While the source waits for its user (its own dialog is up, the feeder loaded), the editor form is
// the source's parent and disabled, so a click on Abort arrives as a message queued to the button;
// the scan's message loop delivers it.
TEST_F(KorvendsEditor, AbortFromTheFormEndsAFeederScanWaitingForTheSource) {
  scanner->SetShowUI(true);
  scanner->SetFeederEnabled(true);
  bool abortEnabledDuringScan = false;
  bool formDisabledDuringWait = false;
  bool sourceDialogShown = false;
  InEditor(
      [&](Editor& e) {
        ASSERT_TRUE(kp::ChooseTab(e.hwnd, U(kTest)));
        Press("スキャン(&S)")(e);
        EXPECT_TRUE(e.form.CmdScan->GetEnabled());
        EXPECT_FALSE(e.form.CmdAbort->GetEnabled());
        EXPECT_EQ(e.form.LabelImageInfo->GetCaption(), "");  // no page came
        EXPECT_TRUE(e.form.Image1->GetPicture()->GetBitmap()->GetEmpty());
        EXPECT_TRUE(e.form.GetVisible());
      },
      "cancel",
      [&](kp::ScriptedDesktop& d) {
        d.Do("click Abort while the source waits", [&] {
          if (!SourceDialogUp()) return false;
          sourceDialogShown = true;
          HWND abort = FormScannerEditor->CmdAbort->GetHandle();
          abortEnabledDuringScan = IsWindowEnabled(abort);
          formDisabledDuringWait = !IsWindowEnabled(FormScannerEditor->GetHandle());
          return PostMessageA(abort, BM_CLICK, 0, 0) != 0;
        });
      });
  EXPECT_TRUE(sourceDialogShown);
  EXPECT_TRUE(abortEnabledDuringScan);
  EXPECT_TRUE(formDisabledDuringWait);
  EXPECT_FALSE(SourceDialogUp());
  EXPECT_FALSE(designer->IsModified());
}

}  // namespace
}  // namespace korven::test
