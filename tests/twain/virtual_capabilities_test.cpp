// Capability negotiation with the virtual scanner through the manager, as an application does it.
#include "virtual_fixture.h"

#include <algorithm>

namespace korven::test {
namespace {

struct CapCase {
  const char* name;
  TW_UINT16 cap;
  TW_UINT16 getContainer;  // on MSG_GET
  TW_UINT16 itemType;
  double deflt;
  double newValue;  // NAN: read-only
};

void PrintTo(const CapCase& c, std::ostream* os) { *os << c.name; }

class CapabilityTable : public VirtualTest, public ::testing::WithParamInterface<CapCase> {};

// Every capability answers each message with the container and item type the standard uses; a set
// value reads back, and MSG_RESET brings back the default.
TEST_P(CapabilityTable, GetSetResetRoundTrip) {
  const CapCase& c = GetParam();
  TwainApp& app = Open();

  CapReading get = ReadCap(app, MSG_GET, c.cap);
  ASSERT_EQ(get.rc, TWRC_SUCCESS);
  EXPECT_EQ(get.conType, c.getContainer);
  EXPECT_EQ(get.itemType, c.itemType);
  EXPECT_NEAR(get.current, c.deflt, 1e-4);

  for (TW_UINT16 msg : {MSG_GETCURRENT, MSG_GETDEFAULT}) {
    CapReading one = ReadCap(app, msg, c.cap);
    ASSERT_EQ(one.rc, TWRC_SUCCESS);
    EXPECT_EQ(one.conType, TWON_ONEVALUE);
    EXPECT_EQ(one.itemType, c.itemType);
    EXPECT_NEAR(one.current, c.deflt, 1e-4);
  }

  TW_UINT32 item = c.itemType == TWTY_FIX32 ? Fix32Item(c.newValue) : static_cast<TW_UINT32>(static_cast<int32_t>(c.newValue));
  if (std::isnan(c.newValue)) {
    EXPECT_EQ(app.SetOneValue(c.cap, c.itemType, Fix32Item(1)), TWRC_FAILURE);
    EXPECT_EQ(app.SourceCondition(), TWCC_CAPBADOPERATION);
    return;
  }
  ASSERT_EQ(app.SetOneValue(c.cap, c.itemType, item), TWRC_SUCCESS) << app.SourceCondition();
  EXPECT_NEAR(ReadCap(app, MSG_GETCURRENT, c.cap).current, c.newValue, 1e-4);
  EXPECT_NEAR(ReadCap(app, MSG_GETDEFAULT, c.cap).current, c.deflt, 1e-4);

  CapReading reset = ReadCap(app, MSG_RESET, c.cap);
  ASSERT_EQ(reset.rc, TWRC_SUCCESS);
  EXPECT_EQ(reset.conType, c.getContainer);
  EXPECT_NEAR(reset.current, c.deflt, 1e-4);
  EXPECT_NEAR(ReadCap(app, MSG_GETCURRENT, c.cap).current, c.deflt, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(
    Virtual, CapabilityTable,
    ::testing::Values(CapCase{"XferMech", ICAP_XFERMECH, TWON_ENUMERATION, TWTY_UINT16, TWSX_NATIVE, TWSX_NATIVE},
                      CapCase{"PixelType", ICAP_PIXELTYPE, TWON_ENUMERATION, TWTY_UINT16, TWPT_RGB, TWPT_GRAY},
                      CapCase{"Units", ICAP_UNITS, TWON_ENUMERATION, TWTY_UINT16, TWUN_INCHES, TWUN_PIXELS},
                      CapCase{"XResolution", ICAP_XRESOLUTION, TWON_RANGE, TWTY_FIX32, 300, 150},
                      CapCase{"YResolution", ICAP_YRESOLUTION, TWON_RANGE, TWTY_FIX32, 300, 600},
                      CapCase{"XScaling", ICAP_XSCALING, TWON_RANGE, TWTY_FIX32, 1, 2.5},
                      CapCase{"YScaling", ICAP_YSCALING, TWON_RANGE, TWTY_FIX32, 1, 0.5},
                      CapCase{"Brightness", ICAP_BRIGHTNESS, TWON_RANGE, TWTY_FIX32, 0, -250},
                      CapCase{"Contrast", ICAP_CONTRAST, TWON_RANGE, TWTY_FIX32, 0, 400},
                      CapCase{"Gamma", ICAP_GAMMA, TWON_RANGE, TWTY_FIX32, 2.2, 1.5},
                      CapCase{"Highlight", ICAP_HIGHLIGHT, TWON_RANGE, TWTY_FIX32, 255, 200},
                      CapCase{"Shadow", ICAP_SHADOW, TWON_RANGE, TWTY_FIX32, 0, 30},
                      CapCase{"Threshold", ICAP_THRESHOLD, TWON_RANGE, TWTY_FIX32, 128, 90},
                      CapCase{"SupportedSizes", ICAP_SUPPORTEDSIZES, TWON_ENUMERATION, TWTY_UINT16, TWSS_NONE,
                              TWSS_USLETTER},
                      CapCase{"AutoBright", ICAP_AUTOBRIGHT, TWON_ONEVALUE, TWTY_BOOL, 0, 1},
                      CapCase{"Indicators", CAP_INDICATORS, TWON_ONEVALUE, TWTY_BOOL, 1, 0},
                      CapCase{"FeederEnabled", CAP_FEEDERENABLED, TWON_ONEVALUE, TWTY_BOOL, 0, 1},
                      CapCase{"AutoFeed", CAP_AUTOFEED, TWON_ONEVALUE, TWTY_BOOL, 0, 1},
                      CapCase{"XferCount", CAP_XFERCOUNT, TWON_ONEVALUE, TWTY_INT16, -1, 2},
                      CapCase{"PhysicalWidth", ICAP_PHYSICALWIDTH, TWON_ONEVALUE, TWTY_FIX32, 8.8, NAN},
                      CapCase{"PhysicalHeight", ICAP_PHYSICALHEIGHT, TWON_ONEVALUE, TWTY_FIX32, 12.0, NAN},
                      CapCase{"XNativeResolution", ICAP_XNATIVERESOLUTION, TWON_ONEVALUE, TWTY_FIX32, 600, NAN},
                      CapCase{"YNativeResolution", ICAP_YNATIVERESOLUTION, TWON_ONEVALUE, TWTY_FIX32, 600, NAN},
                      CapCase{"FeederLoaded", CAP_FEEDERLOADED, TWON_ONEVALUE, TWTY_BOOL, 1, NAN},
                      CapCase{"UIControllable", CAP_UICONTROLLABLE, TWON_ONEVALUE, TWTY_BOOL, 1, NAN}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VirtualTest, EnumerationsListWhatTheDeviceOffers) {
  TwainApp& app = Open();
  CapReading pixel = ReadCap(app, MSG_GET, ICAP_PIXELTYPE);
  EXPECT_EQ(pixel.items, (std::vector<double>{TWPT_BW, TWPT_GRAY, TWPT_RGB, TWPT_PALETTE}));
  EXPECT_EQ(pixel.currentIndex, 2u);
  CapReading units = ReadCap(app, MSG_GET, ICAP_UNITS);
  EXPECT_EQ(units.items, (std::vector<double>{0, 1, 2, 3, 4, 5}));
  CapReading sizes = ReadCap(app, MSG_GET, ICAP_SUPPORTEDSIZES);
  auto has = [&](double s) { return std::count(sizes.items.begin(), sizes.items.end(), s) == 1; };
  EXPECT_TRUE(has(TWSS_NONE) && has(TWSS_A4LETTER) && has(TWSS_USLETTER) && has(TWSS_A5));
  EXPECT_FALSE(has(TWSS_A3) || has(TWSS_USLEGAL) || has(TWSS_B4));  // larger than the platen
  CapReading range = ReadCap(app, MSG_GET, ICAP_BRIGHTNESS);
  EXPECT_EQ(range.min, -1000);
  EXPECT_EQ(range.max, 1000);
  EXPECT_EQ(range.step, 1);
}

TEST_F(VirtualTest, SupportedCapsListsEveryCapabilityItAnswers) {
  TwainApp& app = Open();
  CapReading caps = ReadCap(app, MSG_GET, CAP_SUPPORTEDCAPS);
  ASSERT_EQ(caps.rc, TWRC_SUCCESS);
  EXPECT_EQ(caps.conType, TWON_ARRAY);
  EXPECT_EQ(caps.items.size(), 27u);
  for (double cap : caps.items) EXPECT_EQ(ReadCap(app, MSG_GET, static_cast<TW_UINT16>(cap)).rc, TWRC_SUCCESS) << cap;
  EXPECT_EQ(ReadCap(app, MSG_GET, ICAP_ROTATION).rc, TWRC_FAILURE);
  EXPECT_EQ(app.SourceCondition(), TWCC_CAPUNSUPPORTED);
}

TEST_F(VirtualTest, BitDepthFollowsThePixelType) {
  TwainApp& app = Open();
  const std::pair<TW_UINT16, double> cases[] = {{TWPT_BW, 1}, {TWPT_GRAY, 8}, {TWPT_RGB, 24}, {TWPT_PALETTE, 8}};
  for (auto [type, depth] : cases) {
    ASSERT_EQ(app.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, type), TWRC_SUCCESS);
    CapReading get = ReadCap(app, MSG_GET, ICAP_BITDEPTH);
    EXPECT_EQ(get.items, std::vector<double>{depth}) << type;
    EXPECT_EQ(app.SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, static_cast<TW_UINT32>(depth)), TWRC_SUCCESS);
  }
  // A depth the pixel type does not have is refused and changes nothing.
  EXPECT_EQ(app.SetOneValue(ICAP_BITDEPTH, TWTY_UINT16, 24), TWRC_FAILURE);
  EXPECT_EQ(app.SourceCondition(), TWCC_BADVALUE);
  EXPECT_EQ(ReadCap(app, MSG_GETCURRENT, ICAP_BITDEPTH).current, 8);
}

struct SetCase {
  const char* name;
  TW_UINT16 cap;
  TW_UINT16 itemType;
  double value;
  TW_UINT16 rc;
  TW_UINT16 cc;       // after a failure
  double readBack;    // after success or check-status
};
void PrintTo(const SetCase& c, std::ostream* os) { *os << c.name; }

class SetValues : public VirtualTest, public ::testing::WithParamInterface<SetCase> {};

// Values are clamped and rounded to what the device can do (TWRC_CHECKSTATUS), or refused.
TEST_P(SetValues, AnswerAsTheStandardSays) {
  const SetCase& c = GetParam();
  TwainApp& app = Open();
  double before = ReadCap(app, MSG_GETCURRENT, c.cap).current;
  TW_UINT32 item = c.itemType == TWTY_FIX32 ? Fix32Item(c.value) : static_cast<TW_UINT32>(static_cast<int32_t>(c.value));
  EXPECT_EQ(app.SetOneValue(c.cap, c.itemType, item), c.rc);
  if (c.rc == TWRC_FAILURE) {
    EXPECT_EQ(app.SourceCondition(), c.cc);
    EXPECT_EQ(ReadCap(app, MSG_GETCURRENT, c.cap).current, before);
  } else {
    EXPECT_NEAR(ReadCap(app, MSG_GETCURRENT, c.cap).current, c.readBack, 1e-4);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Virtual, SetValues,
    ::testing::Values(SetCase{"BrightnessAboveRange", ICAP_BRIGHTNESS, TWTY_FIX32, 5000, TWRC_CHECKSTATUS, 0, 1000},
                      SetCase{"ThresholdOffStep", ICAP_THRESHOLD, TWTY_FIX32, 99.75, TWRC_CHECKSTATUS, 0, 100},
                      SetCase{"ResolutionBelowRange", ICAP_XRESOLUTION, TWTY_FIX32, 10, TWRC_CHECKSTATUS, 0, 50},
                      SetCase{"GammaFractional", ICAP_GAMMA, TWTY_FIX32, 1.8, TWRC_SUCCESS, 0, 1.8},
                      SetCase{"BrightnessAsInteger", ICAP_BRIGHTNESS, TWTY_INT32, -300, TWRC_SUCCESS, 0, -300},
                      SetCase{"PixelTypeUnknown", ICAP_PIXELTYPE, TWTY_UINT16, TWPT_CMYK, TWRC_FAILURE, TWCC_BADVALUE, 0},
                      SetCase{"UnitsUnknown", ICAP_UNITS, TWTY_UINT16, 6, TWRC_FAILURE, TWCC_BADVALUE, 0},
                      SetCase{"MemoryTransfer", ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY, TWRC_FAILURE, TWCC_BADVALUE, 0},
                      SetCase{"SizeLargerThanPlaten", ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_A3, TWRC_FAILURE,
                              TWCC_BADVALUE, 0},
                      SetCase{"XferCountZero", CAP_XFERCOUNT, TWTY_INT16, 0, TWRC_FAILURE, TWCC_BADVALUE, 0},
                      SetCase{"StringItem", ICAP_CONTRAST, TWTY_STR32, 1, TWRC_FAILURE, TWCC_BADVALUE, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The application's container is read within its block: a short block or an enumeration whose list
// does not fit is refused without reading past the end.
TEST_F(VirtualTest, SetReadsTheContainerWithinItsBlock) {
  TwainApp& app = Open();
  auto setRaw = [&](TW_UINT16 conType, std::vector<unsigned char> bytes) {
    GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE, bytes.size()));
    std::memcpy(block.Lock(), bytes.data(), bytes.size());
    block.Unlock();
    TW_CAPABILITY cap{ICAP_PIXELTYPE, conType, block.Get()};
    return app.ToSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
  };
  // A TWON_ENUMERATION of UINT16: type, NumItems, CurrentIndex, DefaultIndex, items.
  auto enumeration = [](uint32_t n, uint32_t current, std::vector<uint16_t> items) {
    std::vector<unsigned char> b(14 + items.size() * 2);
    uint16_t type = TWTY_UINT16;
    std::memcpy(&b[0], &type, 2), std::memcpy(&b[2], &n, 4), std::memcpy(&b[6], &current, 4);
    std::memcpy(&b[14], items.data(), items.size() * 2);
    return b;
  };
  EXPECT_EQ(setRaw(TWON_ENUMERATION, enumeration(2, 1, {TWPT_BW, TWPT_GRAY})), TWRC_SUCCESS);
  EXPECT_EQ(ReadCap(app, MSG_GETCURRENT, ICAP_PIXELTYPE).current, TWPT_GRAY);

  const std::vector<unsigned char> bad[] = {
      enumeration(1000, 1, {TWPT_BW, TWPT_BW}),  // NumItems larger than the block
      enumeration(2, 2, {TWPT_BW, TWPT_BW}),     // CurrentIndex outside the list
      {TWTY_UINT16, 0, 1},                        // one-value cut short
      {TWTY_UINT16, 0, 0, 0, 0, 0, 0, 0},         // enumeration header cut short
  };
  for (const auto& b : bad) {
    EXPECT_EQ(setRaw(b.size() == 3 ? TWON_ONEVALUE : TWON_ENUMERATION, b), TWRC_FAILURE);
    EXPECT_EQ(app.SourceCondition(), TWCC_BADVALUE);
  }
  EXPECT_EQ(setRaw(TWON_ARRAY, enumeration(1, 0, {TWPT_BW})), TWRC_FAILURE);
  TW_CAPABILITY none{ICAP_PIXELTYPE, TWON_ONEVALUE, 0};
  EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &none), TWRC_FAILURE);
  EXPECT_EQ(ReadCap(app, MSG_GETCURRENT, ICAP_PIXELTYPE).current, TWPT_GRAY);
}

TEST_F(VirtualTest, CapabilitiesAreSetOnlyInStateFour) {
  TwainApp& app = Open();
  ASSERT_EQ(app.Enable(false), TWRC_SUCCESS);
  EXPECT_EQ(SetFix32(app, ICAP_BRIGHTNESS, 100), TWRC_FAILURE);
  EXPECT_EQ(app.SourceCondition(), TWCC_SEQERROR);
  EXPECT_EQ(ReadCap(app, MSG_RESET, ICAP_BRIGHTNESS).rc, TWRC_FAILURE);
  EXPECT_EQ(app.SourceCondition(), TWCC_SEQERROR);
  CapReading get = ReadCap(app, MSG_GETCURRENT, ICAP_BRIGHTNESS);  // reading is fine in every state
  EXPECT_EQ(get.rc, TWRC_SUCCESS);
  EXPECT_EQ(get.current, 0);
  ASSERT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);
  EXPECT_EQ(ReadCap(app, MSG_GET, ICAP_XRESOLUTION).rc, TWRC_SUCCESS);
  EXPECT_EQ(app.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW), TWRC_FAILURE);
}

// Lengths come in the current unit; the pixel unit follows the resolution of its axis.
TEST_F(VirtualTest, PhysicalSizeIsGivenInTheCurrentUnit) {
  TwainApp& app = Open();
  struct {
    TW_UINT16 unit;
    double width, height;
  } cases[] = {{TWUN_INCHES, 8.8, 12}, {TWUN_CENTIMETERS, 22.352, 30.48}, {TWUN_PICAS, 52.8, 72},
               {TWUN_POINTS, 633.6, 864}, {TWUN_TWIPS, 12672, 17280}, {TWUN_PIXELS, 2640, 3600}};
  for (auto c : cases) {
    ASSERT_EQ(app.SetOneValue(ICAP_UNITS, TWTY_UINT16, c.unit), TWRC_SUCCESS);
    EXPECT_NEAR(ReadCap(app, MSG_GETCURRENT, ICAP_PHYSICALWIDTH).current, c.width, 1e-4) << c.unit;
    EXPECT_NEAR(ReadCap(app, MSG_GETCURRENT, ICAP_PHYSICALHEIGHT).current, c.height, 1e-4) << c.unit;
  }
  ASSERT_EQ(SetFix32(app, ICAP_XRESOLUTION, 150), TWRC_SUCCESS);
  EXPECT_NEAR(ReadCap(app, MSG_GETCURRENT, ICAP_PHYSICALWIDTH).current, 1320, 1e-4);
  EXPECT_NEAR(ReadCap(app, MSG_GETCURRENT, ICAP_PHYSICALHEIGHT).current, 3600, 1e-4);
}

TEST_F(VirtualTest, ResolutionListIsAnEnumeration) {
  TwainApp& app = Open("Resolutions = 600, 75, 150, 300\nDefaultResolution = 200\n");
  CapReading get = ReadCap(app, MSG_GET, ICAP_XRESOLUTION);
  EXPECT_EQ(get.conType, TWON_ENUMERATION);
  EXPECT_EQ(get.itemType, TWTY_FIX32);
  EXPECT_EQ(get.items, (std::vector<double>{75, 150, 300, 600}));
  EXPECT_EQ(get.deflt, 150);  // the nearest listed value
  EXPECT_EQ(SetFix32(app, ICAP_XRESOLUTION, 280), TWRC_CHECKSTATUS);
  EXPECT_EQ(ReadCap(app, MSG_GETCURRENT, ICAP_XRESOLUTION).current, 300);
  EXPECT_EQ(SetFix32(app, ICAP_XRESOLUTION, 600), TWRC_SUCCESS);
}

}  // namespace
}  // namespace korven::test
