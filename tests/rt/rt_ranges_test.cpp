// TScanRange: built-in parameters, refresh from the source, apply, NearestValue and assignment.
#include "rt_support.h"

#include <vcl/TypInfo.h>

#include <cmath>

namespace korven::test {
namespace {

using RangeTest = RtTest;

TEST_F(RangeTest, NewAndParameterised) {
  TestScanner& s = NewScanner();
  TScanRange r(&s);
  EXPECT_FALSE(r.GetSupported());
  EXPECT_EQ(r.GetValue(), 0.0f);
  r.SetParam(scGamma, 0, 10, 0.1f, 2.2f, ICAP_GAMMA);
  EXPECT_TRUE(r.GetSupported());
  EXPECT_EQ(r.GetValue(), 2.2f);
  EXPECT_EQ(r.GetDefault(), 2.2f);
  EXPECT_EQ(r.GetCap(), scGamma);
  EXPECT_EQ(r.GetCapability(), uint32_t(ICAP_GAMMA));
}

TEST_F(RangeTest, OnlyValueCanBeWrittenFromOutside) {
  TestScanner& s = NewScanner();
  TScanRange r(&s);
  r.SetParam(scShadow, 0, 255, 1, 0, ICAP_SHADOW);
  vcl::SetFloatProp(&r, "Min", 5);
  vcl::SetFloatProp(&r, "Max", 5);
  vcl::SetFloatProp(&r, "Step", 5);
  vcl::SetFloatProp(&r, "Default", 5);
  vcl::SetOrdProp(&r, "Supported", 0);
  vcl::SetFloatProp(&r, "Value", 12);
  EXPECT_EQ(std::vector<float>({r.GetMin(), r.GetMax(), r.GetStep(), r.GetDefault(), r.GetValue()}),
            std::vector<float>({0, 255, 1, 0, 12}));
  EXPECT_TRUE(r.GetSupported());
  const vcl::TPropInfo* supported = vcl::GetPropInfo(&r, "Supported");
  ASSERT_NE(supported, nullptr);
  EXPECT_TRUE(supported->HasDefault);
  EXPECT_EQ(supported->Default, 1);
  std::vector<std::string> names;
  for (auto* p : TScanRange::StaticClass().Properties()) names.push_back(p->Name);
  EXPECT_EQ(names, (std::vector<std::string>{"Supported", "Min", "Max", "Step", "Default", "Value"}));
  EXPECT_TRUE(debug->Lines().empty());  // inactive owner: nothing sent
}

TEST_F(RangeTest, AssignCopiesAllButOwnerCapAndSupported) {
  TestScanner& s = NewScanner();
  TScanRange a(&s), b(&s);
  a.SetParam(scResolution, 1, 1200, 1, 300, ICAP_XRESOLUTION);
  a.SetValue(600);
  b.SetParam(scGamma, 0, 10, 0.1f, 2.2f, ICAP_GAMMA);
  vcl::SetOrdProp(&b, "Supported", 0);
  b.Assign(&a);
  EXPECT_EQ(b.GetCapability(), uint32_t(ICAP_XRESOLUTION));
  EXPECT_EQ(b.GetCap(), scGamma);
  EXPECT_EQ(std::vector<float>({b.GetMin(), b.GetMax(), b.GetStep(), b.GetDefault(), b.GetValue()}),
            std::vector<float>({1, 1200, 1, 300, 600}));
  vcl::TStringList other;
  EXPECT_THROW(a.Assign(&other), vcl::EConvertError);
}

TEST_F(RangeTest, NearestValue) {
  TestScanner& s = NewScanner();
  TScanRange r(&s);
  struct {
    float min, max, step, x, expected;
  } cases[] = {
      {0, 255, 1, 255, 255},     {0, 255, 1, 254.5f, 254}, {0, 255, 1, 300, 255},  {0, 255, 1, -3, 0},
      {0, 255, 0, 300, 255},     {0, 255, 0, 12.3f, 12.3f}, {1, 1200, 1, 2500, 2500}, {1, 1200, 1, -1300, -1300},
      {1, 1200, 1, 1300, 1200},  {1, 1200, 1, -500, 1},     {300, 300, 0, 75, 300},   {300, 300, 0, 1200, 300},
      {0.1f, 10, 0.1f, 10, 9.9000015f},
      // Ends whatever the step: negative clamps, a step too small to move the first candidate stops.
      {0, 255, -1, 300, 255},    {1e8f, 1e8f + 64, 1, 1e8f + 16, 1e8f},
  };
  for (auto& c : cases) {
    r.SetParam(scBrightness, c.min, c.max, c.step, 0, ICAP_BRIGHTNESS);
    EXPECT_EQ(r.NearestValue(c.x), c.expected) << c.min << ".." << c.max << "/" << c.step << " x=" << c.x;
  }
  TScanRange unsupported(&s);
  EXPECT_EQ(unsupported.NearestValue(42), 42.0f);
}

TEST_F(RangeTest, InactiveOwnerStoresWithoutSending) {
  TestScanner& s = NewScanner();
  TScanRange r(&s);
  r.SetParam(scBrightness, -1000, 1000, 10, 0, ICAP_BRIGHTNESS);
  r.SetValue(100);
  EXPECT_EQ(r.GetValue(), 100.0f);
  r.Reset();
  EXPECT_EQ(r.GetValue(), 0.0f);
  EXPECT_TRUE(debug->Lines().empty());
}

TEST_F(RangeTest, RefreshAgainstTheVirtualScanner) {
  AddVirtual("Scanner A", "Resolutions = 75, 150, 300\nDefaultResolution = 300\nContainer = ICAP_GAMMA:onevalue\n");
  TestScanner& s = NewScanner();
  ASSERT_TRUE(s.TWAIN_OpenDefaultSource(AppWindow()));
  TScanRange gamma(&s), resolution(&s), brightness(&s);
  gamma.SetParam(scGamma, 0, 10, 0.1f, 2.2f, ICAP_GAMMA);
  resolution.SetParam(scResolution, 1, 1200, 1, 300, ICAP_XRESOLUTION);
  brightness.SetParam(scBrightness, -1000, 1000, 10, 0, ICAP_BRIGHTNESS);
  for (TScanRange* r : {&gamma, &resolution, &brightness}) r->Refresh();

  EXPECT_FALSE(gamma.GetSupported());
  EXPECT_EQ(std::vector<float>({gamma.GetMin(), gamma.GetMax(), gamma.GetStep(), gamma.GetDefault()}),
            std::vector<float>({0, 0, 0, 0}));
  EXPECT_FALSE(s.GetCaps().Contains(scGamma));

  EXPECT_TRUE(resolution.GetSupported());
  EXPECT_EQ(std::vector<float>({resolution.GetMin(), resolution.GetMax(), resolution.GetStep(),
                                resolution.GetDefault()}),
            std::vector<float>({300, 300, 0, 300}));
  EXPECT_EQ(resolution.NearestValue(1200), 300.0f);
  EXPECT_TRUE(s.GetCaps().Contains(scResolution));
  EXPECT_TRUE(brightness.GetSupported());
  EXPECT_EQ(brightness.GetValue(), brightness.GetCurrent());  // UseCurrentValue: the source's value
  EXPECT_TRUE(s.GetCaps().Contains(scBrightness));

  // With no source every query fails: unsupported, zero limits, Value = current.
  ASSERT_TRUE(s.TWAIN_CloseSource());
  brightness.Refresh();
  EXPECT_FALSE(brightness.GetSupported());
  EXPECT_FALSE(s.GetCaps().Contains(scBrightness));
  EXPECT_EQ(brightness.GetValue(), brightness.GetCurrent());
}

TEST_F(RangeTest, ApplyOnAnActiveOwnerSendsXAndY) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  s.SetActive(true);
  ASSERT_TRUE(s.GetActive());
  TScanRange resolution(&s);
  resolution.SetParam(scResolution, 1, 1200, 1, 300, ICAP_XRESOLUTION);
  resolution.SetValue(600);
  EXPECT_EQ(s.TWAIN_GetCapFix32(ICAP_XRESOLUTION, -1), 600.0f);
  EXPECT_EQ(s.TWAIN_GetCapFix32(ICAP_YRESOLUTION, -1), 600.0f);
  EXPECT_EQ(resolution.GetValue(), 600.0f);
  // A value the source adjusts (CHECKSTATUS, not success): Y is not sent, Value shows the source's.
  resolution.SetValue(5000);
  EXPECT_EQ(resolution.GetValue(), 1200.0f);
  EXPECT_EQ(s.TWAIN_GetCapFix32(ICAP_YRESOLUTION, -1), 600.0f);
  EXPECT_TRUE(debug->Contains("ICAP_XRESOLUTION ($1118) Not Supported"));
  s.SetActive(false);
  EXPECT_EQ(s.GetState(), tsPRESESSION);
  EXPECT_EQ(s.GetSourceName(), "");
}

TEST_F(RangeTest, RefusedXResolutionKeepsY) {
  AddVirtual("Scanner A", "RefuseSet = ICAP_XRESOLUTION\n");
  TestScanner& s = NewScanner();
  s.SetActive(true);
  TScanRange resolution(&s);
  resolution.SetParam(scResolution, 1, 1200, 1, 300, ICAP_XRESOLUTION);
  resolution.SetValue(600);
  EXPECT_EQ(resolution.GetValue(), 300.0f);  // read back: the source still holds 300
  EXPECT_EQ(s.TWAIN_GetCapFix32(ICAP_YRESOLUTION, -1), 300.0f);
}

}  // namespace
}  // namespace korven::test
