// The component core: activation on a named, selected or default source, its failures with the
// package's texts, the window handed to TWAIN, copying one component onto another, and a form file
// written and read back.
#include "rt_support.h"

#include <korven/platform.h>
#include <vcl/Forms.h>

namespace korven::test {
namespace {

using ComponentTest = RtTest;

std::string Utf8(const std::string& ansi) { return platform::ToUtf8(ansi); }

// Counts the component's activation events.
struct Events {
  int activate = 0, deactivate = 0;
  void Install(TScanner& s) {
    s.SetOnActivate([this](vcl::TObject*) { ++activate; });
    s.SetOnDeactivate([this](vcl::TObject*) { ++deactivate; });
  }
};

TEST_F(ComponentTest, HandleIsTheOwnersFormOrTheApplicationWindow) {
  TestScanner& loose = NewScanner();
  EXPECT_EQ(loose.GetHandle(), AppWindow());
  vcl::TForm form(nullptr);
  auto* owned = new TestScanner(&form);  // freed by the form
  EXPECT_EQ(owned->GetHandle(), form.GetHandle());
  EXPECT_NE(form.GetHandle(), AppWindow());
}

TEST_F(ComponentTest, ActivationOpensTheNamedSelectedOrDefaultSource) {
  struct Case {
    const char* what;
    int sources;
    std::string sourceName;
    bool useDefault;
    const char* pick;  // the item picked in the selection dialog, nullptr when none must show
    std::string opened;
  } cases[] = {
      {"named, several installed", 2, "Scanner B", false, nullptr, "Scanner B"},
      {"no name: the selection dialog", 3, "", false, "Scanner C", "Scanner C"},
      {"a name that does not open: the dialog", 2, "No Such Scanner", false, "Scanner B", "Scanner B"},
      {"UseDefaultSource: no dialog", 2, "", true, nullptr, "Scanner A"},
      {"one source: no dialog", 1, "", false, nullptr, "Scanner A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshWindows();
    for (int i = 0; i < c.sources; ++i) AddVirtual(std::string("Scanner ") + char('A' + i));
    TestScanner& s = NewScanner();
    Events ev;
    ev.Install(s);
    s.SetSourceName(c.sourceName);
    s.SetUseDefaultSource(c.useDefault);
    size_t shown = desktop.Shown().size();
    if (c.pick) desktop.Pick(c.pick, "Select Source").Press("Select", "Select Source");
    EXPECT_TRUE(s.Open());
    EXPECT_EQ(s.GetSourceName(), c.opened);
    EXPECT_EQ(s.GetState(), tsSOURCE_OPEN);
    EXPECT_EQ(ev.activate, 1);
    bool dialog = false;
    for (size_t i = shown; i < desktop.Shown().size(); ++i) dialog |= desktop.Shown()[i].caption == "Select Source";
    EXPECT_EQ(dialog, c.pick != nullptr);
    EXPECT_TRUE(desktop.Remaining().empty());

    s.SetActive(true);  // the same value: nothing happens
    EXPECT_EQ(ev.activate, 1);
    EXPECT_TRUE(s.Close());
    EXPECT_EQ(ev.deactivate, 1);
    EXPECT_EQ(s.GetSourceName(), "");
    EXPECT_EQ(s.GetState(), tsPRESESSION);
    EXPECT_TRUE(s.Close());  // already inactive: no event
    EXPECT_EQ(ev.deactivate, 1);
    scanners.clear();
  }
}

TEST_F(ComponentTest, CancellingTheSelectionLeavesTheComponentQuietlyInactive) {
  AddVirtual("Scanner A");
  AddVirtual("Scanner B");
  TestScanner& s = NewScanner();
  Events ev;
  ev.Install(s);
  desktop.Press("Cancel", "Select Source");
  size_t windowsBefore = platform::LiveWindowCount();
  EXPECT_FALSE(s.Open());
  EXPECT_FALSE(s.GetActive());
  EXPECT_EQ(ev.activate, 0);
  EXPECT_EQ(s.GetState(), tsPRESESSION);
  EXPECT_EQ(platform::LiveWindowCount(), windowsBefore);
}

TEST_F(ComponentTest, SelectMakesTheChoiceTheNextDefault) {
  AddVirtual("Scanner A");
  AddVirtual("Scanner B");
  TestScanner& s = NewScanner();
  s.SetUseDefaultSource(true);
  desktop.Pick("Scanner B", "Select Source").Press("Select", "Select Source");
  EXPECT_TRUE(s.Select());
  EXPECT_EQ(s.GetState(), tsPRESESSION);  // inactive: the manager goes again
  EXPECT_EQ(s.GetSourceName(), "");
  s.SetActive(true);
  EXPECT_EQ(s.GetSourceName(), "Scanner B");
}

TEST_F(ComponentTest, ActivationFailuresRaiseThePackagesTexts) {
  struct Case {
    const char* what;
    std::function<void()> setup;
    std::string text;
  } cases[] = {
      {"no source installed", [] {}, "TWAINデバイスがインストールされていません"},
      {"no manager", [this] { windows->RemoveManager(); },
       "TWAINソースマネージャー ( TWAIN_32.DLL) をロードできません"},
      {"the default source held by another component",
       [this] {
         AddVirtual("Scanner A");
         NewScanner().SetActive(true);
       },
       "TWAINデバイスが動作しません"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshWindows();
    c.setup();
    TestScanner& s = NewScanner();
    Events ev;
    ev.Install(s);
    try {
      s.SetActive(true);
      ADD_FAILURE() << "no exception";
    } catch (const EScannerFaital& e) {
      EXPECT_EQ(Utf8(e.Message()), c.text);
    }
    EXPECT_FALSE(s.GetActive());
    EXPECT_EQ(ev.activate, 0);
    scanners.clear();
  }
}

TEST_F(ComponentTest, DefaultSourceHeldElsewhereLeavesTheManagerUnloaded) {
  AddVirtual("Scanner A");
  TestScanner& first = NewScanner();
  first.SetActive(true);
  TestScanner& second = NewScanner();
  EXPECT_THROW(second.SetActive(true), EScannerFaital);
  EXPECT_EQ(second.GetState(), tsPRESESSION);
  EXPECT_EQ(SourcesInUse->Count(), 1);
  EXPECT_EQ(first.GetState(), tsSOURCE_OPEN);
}

TEST_F(ComponentTest, ActivationReadsWhatTheSourceSupports) {
  struct Case {
    const char* what;
    std::string ini;
    TScannerCaps caps;
    TScanUnitModes units;
  } cases[] = {
      {"everything", "",
       TScannerCaps{scBrightness, scContrast, scGamma, scHighlight, scShadow, scThreshold, scResolution, scScaling,
                    scAutoFeeder, scFrame},
       TScanUnitModes{umInch, umCm, umPica, umPoint, umTwips, umPixel}},
      // A unit answered as a one-value lists only the current unit.
      {"no feeder, no gamma, no sizes, units as a one-value",
       "Feeder = no\nUnsupported = ICAP_GAMMA, ICAP_SUPPORTEDSIZES\nContainer = ICAP_UNITS:onevalue\n",
       TScannerCaps{scBrightness, scContrast, scHighlight, scShadow, scThreshold, scResolution, scScaling},
       TScanUnitModes{umInch}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshWindows();
    AddVirtual("Scanner A", c.ini);
    TestScanner& s = NewScanner();
    s.SetActive(true);
    EXPECT_EQ(s.GetCaps().Bits(), c.caps.Bits());
    EXPECT_EQ(s.GetUnitModes().Bits(), c.units.Bits());
    EXPECT_EQ(s.GetPixelTypes().Bits(), (TScanPixelTypes{ptBlackWhite, ptGray, ptRGB, ptPalette}.Bits()));
    // The virtual platen is 8.8 x 12 inches.
    EXPECT_FLOAT_EQ(s.GetMaxFrameWidth(), 8.8f);
    EXPECT_FLOAT_EQ(s.GetMaxFrameHeight(), 12.0f);
    EXPECT_FALSE(s.GetFeederEnabled());  // HasFeeder left the feeder as requested
    scanners.clear();
  }
}

TEST_F(ComponentTest, UseCurrentValueTakesOrPushesTheSettings) {
  for (bool useCurrent : {true, false}) {
    SCOPED_TRACE(useCurrent ? "take the source's" : "push the component's");
    FreshWindows();
    AddVirtual("Scanner A");
    TestScanner& s = NewScanner();
    s.SetUseCurrentValue(useCurrent);
    s.GetBrightness()->SetValue(100);
    s.GetResolution()->SetValue(150);
    s.SetPixelType(ptGray);
    s.SetUnitMode(umCm);
    s.SetActive(true);
    if (useCurrent) {
      EXPECT_EQ(s.GetBrightness()->GetValue(), 0);
      EXPECT_EQ(s.GetResolution()->GetValue(), 300);
      EXPECT_EQ(s.GetPixelType(), ptRGB);
      EXPECT_EQ(s.GetUnitMode(), umInch);
      EXPECT_EQ(s.GetPaperSize(), psCustom);  // the source's frame: its whole platen
      EXPECT_FLOAT_EQ(s.GetFrameWidth(), 8.8f);
    } else {
      EXPECT_EQ(s.GetBrightness()->GetValue(), 100);
      EXPECT_EQ(s.TWAIN_GetCapFix32(ICAP_BRIGHTNESS, 0), 100);
      EXPECT_EQ(s.TWAIN_GetCapFix32(ICAP_YRESOLUTION, 0), 150);
      EXPECT_EQ(s.TWAIN_GetPixelType(), TWPT_GRAY);
      EXPECT_EQ(s.TWAIN_GetBitDepth(), 8);
      EXPECT_EQ(s.TWAIN_GetCurrentUnits(), TWUN_CENTIMETERS);
      float l, t, r, b;
      ASSERT_TRUE(s.TWAIN_GetImageLayout(l, t, r, b));
      EXPECT_NEAR(r, 21, 0.001);
      EXPECT_NEAR(b, 29.7, 0.001);
    }
    scanners.clear();
  }
}

TEST_F(ComponentTest, AssignDeactivatesTheDestinationAndCopiesTheSettings) {
  AddVirtual("Scanner A");
  TestScanner& src = NewScanner();
  src.SetMultiTransfer(true);
  src.SetUnitMode(umCm);
  src.SetPixelType(ptGray);
  src.SetPaperSize(psB5);
  src.SetAutoFeedEnabled(true);
  src.GetGamma()->SetValue(1.5f);
  src.GetSourceNames();  // enumerated: the list travels too
  TestScanner& dst = NewScanner();
  Events ev;
  ev.Install(dst);
  bool srcHandler = false;
  src.SetOnAfterScan([&](vcl::TObject*, vcl::TBitmap*, bool&) { srcHandler = true; });
  dst.SetActive(true);
  dst.Assign(&src);
  EXPECT_FALSE(dst.GetActive());
  EXPECT_EQ(ev.deactivate, 1);
  EXPECT_EQ(dst.GetState(), tsPRESESSION);
  EXPECT_TRUE(dst.GetMultiTransfer());
  EXPECT_EQ(dst.GetUnitMode(), umCm);
  EXPECT_EQ(dst.GetPixelType(), ptGray);
  EXPECT_EQ(dst.GetPaperSize(), psB5);
  EXPECT_FLOAT_EQ(dst.GetFrameWidth(), 18.2f);
  EXPECT_TRUE(dst.GetFeederEnabled());
  EXPECT_TRUE(dst.GetAutoFeedEnabled());
  EXPECT_FLOAT_EQ(dst.GetGamma()->GetValue(), 1.5f);
  EXPECT_EQ(dst.GetSourceNames()->GetCommaText(), "\"Scanner A\"");
  EXPECT_FALSE(dst.GetOnAfterScan());  // events stay with their component

  vcl::TStringList list;
  EXPECT_THROW(list.Assign(&src), vcl::Exception);
}

TEST_F(ComponentTest, VersionAndInactiveChecks) {
  TestScanner& s = NewScanner();
  EXPECT_EQ(s.GetVersion(), "Version 5.0.2");
  for (auto call : {+[](TScanner& s) { s.CheckActive(); }, +[](TScanner& s) { s.GetXNativeResolution(); },
                    +[](TScanner& s) { s.GetYNativeResolution(); }}) {
    try {
      call(s);
      ADD_FAILURE() << "no exception";
    } catch (const EScannerWarning& e) {
      EXPECT_EQ(Utf8(e.Message()), "TWAINデバイスがアクティブでありません");
    }
  }
  TScanSourceInfo info = s.GetSourceInfo();
  EXPECT_EQ(info.MajorNum, 0);
  EXPECT_EQ(info.ProductName, "");
}

TEST_F(ComponentTest, SourceInfoAndNativeResolutionsWhileActive) {
  AddVirtual("Scanner A", "Version = 3.7\nManufacturer = Acme\nNativeXResolution = 1200\nNativeYResolution = 2400\n");
  TestScanner& s = NewScanner();
  s.SetActive(true);
  TScanSourceInfo info = s.GetSourceInfo();
  EXPECT_EQ(info.MajorNum, 3);
  EXPECT_EQ(info.MinorNum, 7);
  EXPECT_EQ(info.Manufacturer, "Acme");
  EXPECT_EQ(info.ProductFamily, "Virtual Flatbed");
  EXPECT_EQ(info.ProductName, "Scanner A");
  EXPECT_EQ(info.VersionInfo, "korven virtual scanner");
  EXPECT_EQ(s.GetXNativeResolution(), 1200);
  EXPECT_EQ(s.GetYNativeResolution(), 2400);
}

TEST_F(ComponentTest, DestroyingAnEnabledComponentReleasesEverything) {
  AddVirtual("Scanner A", "ImagesPerScan = 2\n");
  size_t modules = platform::LoadedModuleCount();
  {
    TestScanner s(nullptr);
    s.SetShowUI(false);
    ASSERT_TRUE(s.TWAIN_EnableSource(AppWindow()));
    EXPECT_EQ(SourcesInUse->Count(), 1);
  }
  EXPECT_EQ(SourcesInUse->Count(), 0);
  EXPECT_EQ(platform::LoadedModuleCount(), modules);
}

TEST_F(ComponentTest, ProxyFormIsShownOnceAndGoesWithTheComponent) {
  size_t windows = platform::LiveWindowCount();
  {
    TestScanner s(nullptr);
    HWND h = s.CreateProxyForm();
    EXPECT_EQ(s.CreateProxyForm(), h);
    ASSERT_TRUE(IsWindow(h));
    ASSERT_FALSE(desktop.Shown().empty());
    EXPECT_EQ(desktop.Shown().back().caption, "TScanner ProxyWindow");
  }
  EXPECT_EQ(platform::LiveWindowCount(), windows);
}

// ---- Form files -----------------------------------------------------------------------------------

std::string FormText(TScanner& s) {
  vcl::TMemoryStream bin;
  bin.WriteComponent(&s);
  bin.SetPosition(0);
  vcl::TStringStream text;
  vcl::ObjectBinaryToText(&bin, &text);
  return text.DataString();
}

void ReadFormText(const std::string& text, TScanner& into) {
  vcl::TStringStream in(text);
  vcl::TMemoryStream bin;
  vcl::ObjectTextToBinary(&in, &bin);
  bin.SetPosition(0);
  bin.ReadComponent(&into);
}

TEST_F(ComponentTest, AFreshComponentWritesOnlyWhatHasNoDefault) {
  TestScanner& s = NewScanner();
  s.SetName("Scanner1");
  s.SetShowUI(true);
  std::string text = FormText(s);
  for (const char* absent : {"Active", "SourceNames", "Bitmap", "MaxFrame", "UseCurrentValue", "ShowUI", "UnitMode",
                             "PixelType", "BitDepth", "PaperSize", "HasFeeder", "FeederEnabled", "AutoBright"})
    EXPECT_EQ(text.find(std::string("  ") + absent), std::string::npos) << absent << " in\n" << text;
  for (const char* present :
       {"Caps = [scBrightness, scContrast, scGamma, scHighlight, scShadow, scThreshold, scResolution, scScaling, "
        "scAutoFeeder]",
        "FrameWidth = 8.26875", "Resolution.Value = 300.0", "Gamma.Value = 2.2000000476837", "Scaling.Step = 0.1"})
    EXPECT_NE(text.find(present), std::string::npos) << present << " not in\n" << text;
}

TEST_F(ComponentTest, FormFileRoundTripKeepsSettingsAndDropsReadOnlyValues) {
  TestScanner& s = NewScanner();
  s.SetName("Scanner1");
  s.SetSourceName("Scanner B");
  s.SetUseDefaultSource(true);
  s.SetUseCurrentValue(false);
  s.SetMultiTransfer(true);
  s.SetShowIndicator(false);
  s.SetUnitMode(umCm);
  s.SetPixelType(ptBlackWhite);
  s.SetBitDepth(1);
  s.SetBounds(1, 2, 10, 12);
  s.SetAutoFeedEnabled(true);
  s.SetAutoBright(true);
  s.GetResolution()->SetValue(200);
  s.GetThreshold()->SetValue(90);
  std::string text = FormText(s);

  // Values a form may not change: streamed in anyway, they are dropped.
  std::string tampered = text;
  size_t end = tampered.rfind("end");
  tampered.insert(end, "  Caps = []\n  UnitModes = [umTwips]\n  PixelTypes = []\n  MaxFrameWidth = 5.0\n"
                       "  HasFeeder = True\n  Resolution.Max = 7.0\n");
  TestScanner& r = NewScanner();
  ReadFormText(tampered, r);
  EXPECT_EQ(r.GetName(), "Scanner1");
  EXPECT_FALSE(r.GetActive());
  EXPECT_EQ(r.GetSourceName(), "Scanner B");
  EXPECT_TRUE(r.GetUseDefaultSource());
  EXPECT_FALSE(r.GetUseCurrentValue());
  EXPECT_TRUE(r.GetMultiTransfer());
  EXPECT_FALSE(r.GetShowIndicator());
  EXPECT_EQ(r.GetUnitMode(), umCm);
  EXPECT_EQ(r.GetPixelType(), ptBlackWhite);
  EXPECT_EQ(r.GetBitDepth(), 1);
  EXPECT_EQ(r.GetPaperSize(), psA4);  // inactive: a frame does not re-derive the paper size
  EXPECT_EQ(r.GetFrameRect(), s.GetFrameRect());
  EXPECT_TRUE(r.GetFeederEnabled());
  EXPECT_TRUE(r.GetAutoFeedEnabled());
  EXPECT_TRUE(r.GetAutoBright());
  EXPECT_EQ(r.GetResolution()->GetValue(), 200);
  EXPECT_EQ(r.GetResolution()->GetMax(), 1200);
  EXPECT_EQ(r.GetThreshold()->GetValue(), 90);
  EXPECT_EQ(r.GetCaps().Bits(), s.GetCaps().Bits());
  EXPECT_EQ(r.GetUnitModes().Bits(), s.GetUnitModes().Bits());
  EXPECT_EQ(r.GetPixelTypes().Bits(), s.GetPixelTypes().Bits());
  EXPECT_EQ(r.GetMaxFrameWidth(), 0);
  EXPECT_EQ(r.GetSourceNames()->Count(), 0);  // nothing installed: the list is enumerated, not read
  EXPECT_EQ(FormText(r), text);
}

TEST_F(ComponentTest, AFormWithAScannerStreamsItsEventsByHandlerName) {
  int calls = 0;
  auto declare = [&](vcl::TComponent& root) {
    root.DeclareHandler("Scanner1AfterScan", TAfterScanEvent([&](vcl::TObject*, vcl::TBitmap*, bool&) { ++calls; }));
  };
  vcl::TComponent form(nullptr);
  form.SetName("Form1");
  declare(form);
  auto* scanner = new TScanner(&form);
  scanner->SetName("Scanner1");
  scanner->GetResolution()->SetValue(150);
  vcl::SetMethodProp(scanner, "OnAfterScan", &form, "Scanner1AfterScan");
  vcl::TMemoryStream bin;
  bin.WriteComponent(&form);

  vcl::TComponent copy(nullptr);
  declare(copy);
  bin.SetPosition(0);
  bin.ReadComponent(&copy);
  auto* read = dynamic_cast<TScanner*>(copy.FindComponent("Scanner1"));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->GetResolution()->GetValue(), 150);
  ASSERT_TRUE(read->GetOnAfterScan());
  bool cancel = false;
  read->GetOnAfterScan()(read, read->GetBitmap(), cancel);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace korven::test
