// The container layer: sizes, wrappers, item encodings, TW_FIX32 both ways, capability names and
// MSG_SET through the manager to the virtual scanner.
#include "rt_support.h"

#include <cstring>

namespace korven::test {
namespace {

using ContainerTest = RtTest;

TEST(Fix32, SingleToFix32AsTheStandardConverts) {
  struct {
    float x;
    int16_t whole;
    uint16_t frac;
  } cases[] = {{1.5f, 1, 32768}, {0.1f, 0, 6554}, {2.2f, 2, 13107}, {-1.5f, -2, 32769},
               {-1000, -1000, 1},  {300, 300, 0},     {32768, -32768, 0}, {0, 0, 0}};
  for (auto& c : cases) {
    TW_FIX32 f = SingleToFix32(c.x);
    EXPECT_EQ(f.Whole, c.whole) << c.x;
    EXPECT_EQ(f.Frac, c.frac) << c.x;
  }
}

TEST(Fix32, Fix32ToSingleRoundsToFourDecimals) {
  struct {
    int16_t whole;
    uint16_t frac;
    float x;
  } cases[] = {{0, 6554, 0.1f}, {2, 13107, 2.2f}, {-2, 32769, -1.5f}, {0, 1, 0.0f}, {300, 0, 300.0f}, {1, 32768, 1.5f}};
  for (auto& c : cases) EXPECT_EQ(Fix32ToSingle(TW_FIX32{c.whole, c.frac}), c.x) << c.whole << " " << c.frac;
}

TEST(CapabilityNames, NamesWithTheirNumberOrTheFallback) {
  EXPECT_EQ(TScanner::GetCapabilityName(0x1118), "ICAP_XRESOLUTION ($1118)");
  EXPECT_EQ(TScanner::GetCapabilityName(0x8000), "CAP_CUSTOMBASE ($8000)");
  EXPECT_EQ(TScanner::GetCapabilityName(0x8005), "Capability ($8005)");
  EXPECT_EQ(TScanner::GetCapabilityName(0), "Capability ($0000)");
  EXPECT_EQ(TScanner::GetCapabilityName(0x1202), "ACAP_XFERMECH ($1202)");
  // CAP_CUSTOMBASE first, then strictly ascending numbers.
  EXPECT_EQ(CapabilityTable[0].Cap, 0x8000);
  EXPECT_EQ(CapabilityTable[1].Cap, 0x0001);
  for (int i = 2; i < 130; ++i) EXPECT_LT(CapabilityTable[i - 1].Cap, CapabilityTable[i].Cap) << i;
  EXPECT_STREQ(CapabilityTable[129].Name, "ACAP_XFERMECH");
}

TEST_F(ContainerTest, ContainerSizes) {
  TestScanner& s = NewScanner();
  EXPECT_EQ(s.ContainerSize(TWON_ONEVALUE, TWTY_UINT16, 1), 6);
  EXPECT_EQ(s.ContainerSize(TWON_ONEVALUE, TWTY_FRAME, 1), 18);
  EXPECT_EQ(s.ContainerSize(TWON_ONEVALUE, TWTY_STR255, 1), 258);
  EXPECT_EQ(s.ContainerSize(TWON_ENUMERATION, TWTY_UINT16, 3), 21);
  EXPECT_EQ(s.ContainerSize(TWON_ARRAY, TWTY_INT32, 0), 7);
  EXPECT_EQ(s.ContainerSize(TWON_ARRAY, TWTY_STR32, 2), 75);
  EXPECT_EQ(s.ContainerSize(TWON_RANGE, TWTY_STR255, 99), 22);
  EXPECT_EQ(s.ContainerSize(7, TWTY_UINT16, 1), 0);
}

TEST_F(ContainerTest, OneValueItemEncodings) {
  TestScanner& s = NewScanner();
  struct {
    int32_t type;
    float value;
    uint32_t item;
  } cases[] = {
      {TWTY_UINT16, 65537, 1},         {TWTY_INT8, 200, 0xFFFFFFC8},   {TWTY_BOOL, 1, 1},
      {TWTY_UINT8, 511, 0xFF},         {TWTY_INT16, 40000, 0xFFFF9C40}, {TWTY_INT32, -7.9f, 0xFFFFFFF9},
      {TWTY_UINT32, 3000000000.0f, 3000000000u}, {TWTY_FIX32, 300, 300},   {TWTY_FIX32, 0.1f, 6554u << 16},
      {TWTY_FRAME, 5, 0},
  };
  for (auto& c : cases) {
    pcon p = s.ContainerOneValue(c.type, c.value);
    ASSERT_NE(p, 0u);
    TContainerWrapper* w = TScanner::FindContainer(p);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->ConType, TWON_ONEVALUE);
    EXPECT_EQ(GlobalFlags(w->hContainer) & GMEM_LOCKCOUNT, 1u);  // locked once, by the wrapper
    uint16_t type;
    uint32_t item;
    std::memcpy(&type, w->pContainer, 2);
    std::memcpy(&item, static_cast<char*>(w->pContainer) + 2, 4);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(item, c.item) << c.type << " " << c.value;
    s.ContainerFree(p);
    EXPECT_EQ(TScanner::FindContainer(p), nullptr);
  }
}

TEST_F(ContainerTest, WrappersRefuseWhatTheyCannotHold) {
  TestScanner& s = NewScanner();
  EXPECT_EQ(s.WrapContainer(TWON_ONEVALUE, 0), 0u);
  HGLOBAL gone = GlobalAlloc(GMEM_MOVEABLE, 6);
  GlobalFree(gone);
  EXPECT_EQ(s.WrapContainer(TWON_ONEVALUE, gone), 0u);
  ASSERT_EQ(debug->Lines().size(), 2u);
  EXPECT_EQ(debug->Lines()[0], ErrorText("Illegal container handle", "TWRC_SUCCESS", "TWCC_BUMMER"));
  EXPECT_EQ(debug->Lines()[1], ErrorText("Can not Lock Container", "TWRC_SUCCESS", "TWCC_BUMMER"));

  auto message = [&](pcon p) {
    try {
      s.ContainerFree(p);
    } catch (const EScannerFaital& e) {
      return e.Message();
    }
    return std::string("nothing raised");
  };
  EXPECT_EQ(message(0), "ContainerFree pcon = nil");
  EXPECT_EQ(message(0xDEAD), "ContainerFree Signature miss match");
  pcon p = s.ContainerOneValue(TWTY_UINT16, 1);
  s.ContainerFree(p);
  EXPECT_EQ(message(p), "ContainerFree Signature miss match");  // freed twice
}

TEST_F(ContainerTest, SettersWithoutASourceBuildAndFreeTheirContainer) {
  TestScanner& s = NewScanner();
  EXPECT_FALSE(s.TWAIN_SetCapOneValue(ICAP_UNITS, TWTY_UINT16, 1));
  EXPECT_FALSE(s.TWAIN_SetCapFix32(ICAP_GAMMA, 2.2f));
  EXPECT_FALSE(s.TWAIN_SetCapOneValue(ICAP_GAMMA, TWTY_FIX32, 2));
  std::string none = ErrorText("Data Source not open", "TWRC_SUCCESS", "TWCC_BUMMER");
  EXPECT_EQ(debug->Lines(), (std::vector<std::string>{none, none, ErrorText("Unknow ItemType", "TWRC_SUCCESS",
                                                                            "TWCC_BUMMER")}));
}

TEST_F(ContainerTest, SetThroughTheManagerAndRefusals) {
  AddVirtual("Scanner A", "RefuseSet = ICAP_BRIGHTNESS\n");
  TestScanner& s = NewScanner();
  ASSERT_TRUE(s.TWAIN_OpenDefaultSource(AppWindow()));
  EXPECT_TRUE(s.TWAIN_SetCapFix32(ICAP_CONTRAST, 100));
  EXPECT_EQ(s.TWAIN_GetCapFix32(ICAP_CONTRAST, -1), 100.0f);
  EXPECT_TRUE(s.TWAIN_SetCapOneValue(ICAP_UNITS, TWTY_UINT16, 65537));  // sends 1: centimetres
  EXPECT_EQ(s.TWAIN_GetCurrentUnits(), TWUN_CENTIMETERS);
  EXPECT_TRUE(s.TWAIN_SetCapBool(CAP_INDICATORS, false));
  EXPECT_FALSE(s.TWAIN_GetIndicators());
  EXPECT_TRUE(debug->Lines().empty()) << debug->All();

  EXPECT_FALSE(s.TWAIN_SetCapFix32(ICAP_BRIGHTNESS, 10));
  EXPECT_EQ(debug->Lines().size(), 1u);
  EXPECT_EQ(debug->Lines()[0].rfind("ICAP_BRIGHTNESS ($1101) Not Supported\r\n ResultCode=TWRC_FAILURE", 0), 0u);
  EXPECT_FALSE(s.TWAIN_Set(ICAP_CONTRAST, 0));  // no wrapper: no report, no call
  EXPECT_EQ(debug->Lines().size(), 1u);
}

}  // namespace
}  // namespace korven::test
