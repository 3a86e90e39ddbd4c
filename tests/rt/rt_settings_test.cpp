// The component's settings: built-in defaults, Reset inactive and active, the single-valued setters
// and the document feeder, against the virtual scanner.
#include "rt_support.h"

namespace korven::test {
namespace {

using SettingsTest = RtTest;

struct RangeRow {
  const char* name;
  TScanRange* (TScanner::*get)() const;
  float min, max, step, def;
};
const RangeRow Ranges[] = {
    {"Brightness", &TScanner::GetBrightness, -1000, 1000, 10, 0}, {"Contrast", &TScanner::GetContrast, -1000, 1000, 10, 0},
    {"Gamma", &TScanner::GetGamma, 0, 10, 0.1f, 2.2f},           {"Highlight", &TScanner::GetHighlight, 0, 255, 1, 255},
    {"Shadow", &TScanner::GetShadow, 0, 255, 1, 0},              {"Threshold", &TScanner::GetThreshold, 0, 255, 1, 128},
    {"Resolution", &TScanner::GetResolution, 1, 1200, 1, 300},   {"Scaling", &TScanner::GetScaling, 0.1f, 10, 0.1f, 1},
};

void ExpectBuiltInDefaults(TScanner& s) {
  EXPECT_EQ(s.GetCaps().Bits(), (TScannerCaps{scBrightness, scContrast, scGamma, scHighlight, scShadow, scThreshold,
                                              scResolution, scScaling, scAutoFeeder}
                                     .Bits()));
  EXPECT_EQ(s.GetUnitMode(), umInch);
  EXPECT_EQ(s.GetUnitModes().Bits(), (TScanUnitModes{umInch, umCm, umPixel}.Bits()));
  EXPECT_EQ(s.GetPixelType(), ptRGB);
  EXPECT_EQ(s.GetPixelTypes().Bits(), (TScanPixelTypes{ptBlackWhite, ptGray, ptRGB, ptPalette}.Bits()));
  EXPECT_EQ(s.GetBitDepth(), 24);
  EXPECT_TRUE(s.GetShowIndicator());
  EXPECT_TRUE(s.GetShowUI());
  EXPECT_EQ(s.GetPaperSize(), psA4);
  for (const RangeRow& r : Ranges) {
    SCOPED_TRACE(r.name);
    TScanRange* range = (s.*r.get)();
    EXPECT_EQ(range->GetMin(), r.min);
    EXPECT_EQ(range->GetMax(), r.max);
    EXPECT_EQ(range->GetStep(), r.step);
    EXPECT_EQ(range->GetDefault(), r.def);
    EXPECT_EQ(range->GetValue(), r.def);
    EXPECT_TRUE(range->GetSupported());
  }
}

TEST_F(SettingsTest, ANewComponentHasTheBuiltInDefaults) {
  TScanner s(nullptr);
  ExpectBuiltInDefaults(s);
  EXPECT_TRUE(s.GetUseCurrentValue());
  EXPECT_FALSE(s.GetUseDefaultSource());
  EXPECT_FALSE(s.GetMultiTransfer());
  EXPECT_FALSE(s.GetHasFeeder());
  EXPECT_FALSE(s.GetFeederEnabled());
  EXPECT_FALSE(s.GetFeederLoaded());
  EXPECT_TRUE(s.GetBitmap()->GetEmpty());
}

TEST_F(SettingsTest, ResetWhileInactiveBringsBackTheDefaultsButKeepsTheChoices) {
  TestScanner& s = NewScanner();
  s.SetUseCurrentValue(false);
  s.SetMultiTransfer(true);
  s.SetAutoBright(true);
  s.SetAutoFeedEnabled(true);
  s.SetUnitMode(umPica);
  s.SetPixelType(ptPalette);
  s.SetBitDepth(8);
  s.SetShowIndicator(false);
  s.SetShowUI(false);
  s.SetPaperSize(psLetter);
  for (const RangeRow& r : Ranges) (s.*r.get)()->SetValue(7);
  s.Reset();
  ExpectBuiltInDefaults(s);
  EXPECT_FALSE(s.GetUseCurrentValue());
  EXPECT_TRUE(s.GetMultiTransfer());
  EXPECT_TRUE(s.GetAutoBright());
  EXPECT_TRUE(s.GetFeederEnabled());
  EXPECT_TRUE(s.GetAutoFeedEnabled());
  // Without a source the bulk exchanges do nothing.
  s.CurrentSettings();
  s.ApplySettings();
  ExpectBuiltInDefaults(s);
}

TEST_F(SettingsTest, ResetWhileActiveTakesTheSourcesDefaults) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  s.SetActive(true);
  s.SetPixelType(ptGray);
  s.SetUnitMode(umCm);
  s.SetBounds(1, 1, 5, 5);
  s.GetBrightness()->SetValue(200);
  s.GetResolution()->SetValue(100);
  ASSERT_EQ(s.TWAIN_GetCapFix32(ICAP_BRIGHTNESS, 0), 200);
  s.Reset();
  EXPECT_EQ(s.GetPixelType(), ptRGB);
  EXPECT_EQ(s.GetUnitMode(), umInch);
  EXPECT_EQ(s.GetBitDepth(), 24);
  EXPECT_EQ(s.GetFrameRect(), s.GetMaxFrameRect());
  EXPECT_EQ(s.GetBrightness()->GetValue(), 0);
  EXPECT_EQ(s.TWAIN_GetCapFix32(ICAP_BRIGHTNESS, -1), 0);
  EXPECT_EQ(s.TWAIN_GetCapFix32(ICAP_YRESOLUTION, 0), 300);
  EXPECT_TRUE(s.GetShowUI());
  EXPECT_EQ(s.TWAIN_GetPixelType(), TWPT_RGB);
}

TEST_F(SettingsTest, ActiveSettersKeepWhatTheSourceReports) {
  AddVirtual("Scanner A", "RefuseSet = ICAP_AUTOBRIGHT\n");
  TestScanner& s = NewScanner();
  s.SetActive(true);
  // A pixel type change brings the source's depth for it.
  s.SetPixelType(ptGray);
  EXPECT_EQ(s.GetBitDepth(), 8);
  EXPECT_EQ(s.TWAIN_GetPixelType(), TWPT_GRAY);
  // A depth the type does not offer: the source's stays.
  s.SetBitDepth(16);
  EXPECT_EQ(s.GetBitDepth(), 8);
  // Refused: the source's value is kept.
  s.SetAutoBright(true);
  EXPECT_FALSE(s.GetAutoBright());
  // The same pixel type again sends nothing.
  debug->Clear();
  s.SetPixelType(ptGray);
  s.SetFrameLeft(s.GetFrameLeft());
  EXPECT_TRUE(debug->Lines().empty()) << debug->All();
}

TEST_F(SettingsTest, ShowIndicatorReachesTheSourceOnlyWithApplySettings) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  s.SetActive(true);
  s.SetShowIndicator(false);
  EXPECT_TRUE(s.TWAIN_GetIndicators());
  s.ApplySettings();
  EXPECT_FALSE(s.TWAIN_GetIndicators());
  EXPECT_FALSE(s.GetShowIndicator());
}

TEST_F(SettingsTest, FeederSettings) {
  struct Case {
    const char* what;
    std::string ini;
    bool requestFeeder, requestAutoFeed;
    bool hasFeeder, feederEnabled, autoFeed, loaded;
  } cases[] = {
      {"feeder off, can be switched on", "", false, false, true, false, false, true},
      {"feeder requested with automatic feeding", "", false, true, true, true, true, true},
      {"no feeder at all", "Feeder = no\n", true, true, false, false, false, false},
      {"feeder without paper", "PagesLoaded = 0\n", true, false, true, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshWindows();
    AddVirtual("Scanner A", c.ini);
    TestScanner& s = NewScanner();
    s.SetFeederEnabled(c.requestFeeder);
    s.SetAutoFeedEnabled(c.requestAutoFeed);  // true also asks for the feeder
    EXPECT_EQ(s.GetFeederEnabled(), c.requestFeeder || c.requestAutoFeed);
    EXPECT_FALSE(s.GetHasFeeder());  // inactive
    s.SetActive(true);
    EXPECT_EQ(s.GetHasFeeder(), c.hasFeeder);
    EXPECT_EQ(s.GetCaps().Contains(scAutoFeeder), c.hasFeeder);
    EXPECT_EQ(s.GetFeederEnabled(), c.feederEnabled);
    EXPECT_EQ(s.TWAIN_GetCapBool(CAP_FEEDERENABLED, false), c.feederEnabled);
    EXPECT_EQ(s.GetAutoFeedEnabled(), c.autoFeed);
    EXPECT_EQ(s.GetFeederLoaded(), c.loaded);
  }
}

}  // namespace
}  // namespace korven::test

namespace korven::test {
namespace {

// A source that fails a query yet hands over a container makes the capability layer assert; the
// setters and getters that absorb every exception fall back to false.
TEST_F(SettingsTest, AbsorbingAccessorsFallBackWhenTheExchangeRaises) {
  AddVirtual("Scanner A", "FailWithContainer = ICAP_AUTOBRIGHT, CAP_FEEDERLOADED, CAP_AUTOFEED\n");
  TestScanner& s = NewScanner();
  s.SetActive(true);
  s.SetAutoBright(true);
  EXPECT_FALSE(s.GetAutoBright());
  EXPECT_FALSE(s.GetFeederLoaded());
  s.SetAutoFeedEnabled(true);
  EXPECT_FALSE(s.GetAutoFeedEnabled());
  EXPECT_TRUE(s.GetFeederEnabled());  // switched on on the way, and that exchange works
}

}  // namespace
}  // namespace korven::test
