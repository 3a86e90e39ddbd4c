// The capability queries: each reduction of the containers a source returns, the report texts, the
// typed accessors and the image layout. Containers the virtual scanner cannot produce yet (lying
// counts, empty or unusual enumerations) come from a scripted source entry inside the test.
#include "rt_support.h"

#include <cstring>
#include <functional>

namespace korven::test {
namespace {

// ---- A scripted source behind FDSMEntry ---------------------------------------------------------------

// The container the scripted source hands out for every DAT_CAPABILITY query.
struct Scripted {
  TW_UINT16 rc = TWRC_SUCCESS;
  TW_UINT16 conType = TWON_ONEVALUE;
  std::vector<uint8_t> bytes;
  bool leaveHandleOnFailure = false;
};
Scripted* script = nullptr;

TW_UINT16 ScriptedEntry(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16, TW_MEMREF pData) {
  if (DG == DG_CONTROL && DAT == DAT_STATUS) {
    static_cast<TW_STATUS*>(pData)->ConditionCode = TWCC_SUCCESS;
    return TWRC_SUCCESS;
  }
  if (DG != DG_CONTROL || DAT != DAT_CAPABILITY) return TWRC_FAILURE;
  auto* cap = static_cast<TW_CAPABILITY*>(pData);
  if (script->rc != TWRC_SUCCESS && !script->leaveHandleOnFailure) return script->rc;
  cap->ConType = script->conType;
  cap->hContainer = 0;
  if (!script->bytes.empty()) {
    cap->hContainer = GlobalAlloc(GMEM_MOVEABLE, script->bytes.size());
    std::memcpy(GlobalLock(cap->hContainer), script->bytes.data(), script->bytes.size());
    GlobalUnlock(cap->hContainer);
  }
  return script->rc;
}

// Little-endian container bytes.
struct Bytes {
  std::vector<uint8_t> v;
  Bytes& u16(uint16_t x) { return put(&x, 2); }
  Bytes& u32(uint32_t x) { return put(&x, 4); }
  Bytes& fix(float x) {
    TW_FIX32 f = SingleToFix32(x);
    return put(&f, 4);
  }
  Bytes& put(const void* p, size_t n) {
    v.insert(v.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
    return *this;
  }
};
Bytes Enumeration(uint16_t type, uint32_t num, uint32_t cur, uint32_t def) {
  Bytes b;
  b.u16(type).u32(num).u32(cur).u32(def);
  return b;
}

class ScriptedTest : public RtTest {
 protected:
  void SetUp() override {
    RtTest::SetUp();
    script = &scripted;
    s = &NewScanner();
    s->FDSMEntry = &ScriptedEntry;
    s->FState = tsSOURCE_OPEN;
  }
  void TearDown() override {
    s->FDSMEntry = nullptr;
    s->FState = tsPRESESSION;
    script = nullptr;
    RtTest::TearDown();
  }
  void Answer(uint16_t conType, const Bytes& b) {
    scripted.conType = conType;
    scripted.bytes = b.v;
  }
  std::vector<intptr_t> Items(const vcl::TList& list) {
    std::vector<intptr_t> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(reinterpret_cast<intptr_t>(list.Get(i)));
    return out;
  }
  Scripted scripted;
  TestScanner* s = nullptr;
};

std::string Report(const std::string& text) { return ErrorText(text, "TWRC_SUCCESS", "TWCC_SUCCESS"); }

TEST_F(ScriptedTest, CurrentAndDefaultTakeWhatTheyUnderstand) {
  uint32_t v = 0xAAAAAAAA;
  Answer(TWON_RANGE, Bytes().u16(TWTY_FIX32).fix(-100).fix(100).fix(1).fix(0).fix(25));
  EXPECT_TRUE(s->TWAIN_GetCapCurrent(ICAP_BRIGHTNESS, TWTY_FIX32, &v));
  EXPECT_EQ(Fix32ToSingle(TW_FIX32{int16_t(v & 0xFFFF), uint16_t(v >> 16)}), 25.0f);
  EXPECT_FALSE(s->TWAIN_GetCapDefault(ICAP_BRIGHTNESS, TWTY_FIX32, &v));
  EXPECT_EQ(debug->All(), Report("GetCapCurrent Fail (ConType=6)") + "\n");

  // Exactly the item size is copied: a 16-bit item leaves the upper half alone.
  v = 0xAAAAAAAA;
  Answer(TWON_ENUMERATION, Enumeration(TWTY_INT16, 3, 1, 2).u16(10).u16(20).u16(30));
  EXPECT_TRUE(s->TWAIN_GetCapCurrent(ICAP_UNITS, TWTY_UINT16, &v));
  EXPECT_EQ(v, 0xAAAA0014u);
  EXPECT_TRUE(s->TWAIN_GetCapDefault(ICAP_UNITS, TWTY_UINT16, &v));
  EXPECT_EQ(v, 0xAAAA001Eu);

  debug->Clear();
  Answer(TWON_ARRAY, Bytes().u16(TWTY_UINT16).u32(1).u16(5));
  EXPECT_FALSE(s->TWAIN_GetCapCurrent(ICAP_UNITS, TWTY_UINT16, &v));
  EXPECT_EQ(debug->All(), Report("GetCapCurrent Fail (ICAP_UNITS ($0102):ConType=3)") + "\n");
  EXPECT_THROW(s->TWAIN_GetCapCurrent(ICAP_UNITS, TWTY_UINT16, nullptr), vcl::EAssertionFailed);
}

TEST_F(ScriptedTest, MismatchesAndBadIndexesGiveFalseSilently) {
  uint32_t v = 7;
  struct {
    const char* what;
    uint16_t conType;
    Bytes bytes;
  } cases[] = {
      {"bool for uint16", TWON_ONEVALUE, Bytes().u16(TWTY_BOOL).u32(1)},
      {"uint32 for uint16", TWON_ONEVALUE, Bytes().u16(TWTY_UINT32).u32(1)},
      {"current index past the items", TWON_ENUMERATION, Enumeration(TWTY_UINT16, 2, 2, 0).u16(1).u16(2)},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    Answer(c.conType, c.bytes);
    EXPECT_FALSE(s->TWAIN_GetCapCurrent(ICAP_UNITS, TWTY_UINT16, &v));
    EXPECT_EQ(v, 7u);
  }
  EXPECT_TRUE(debug->Lines().empty());
}

TEST_F(ScriptedTest, ContainersThatLieAboutTheirSizeAreNotReadBeyondTheBlock) {
  uint32_t v = 7;
  vcl::TList list;
  int32_t cur = -5, def = -5;
  float a = 1, b = 1, c = 1, d = 1, e = 1;
  std::string small = Report("Illegal container size (ICAP_UNITS ($0102))") + "\n";
  struct {
    const char* what;
    uint16_t conType;
    Bytes bytes;
    std::function<bool()> query;
  } cases[] = {
      {"current index far beyond", TWON_ENUMERATION, Enumeration(TWTY_UINT16, 0xFFFFFFFF, 0x40000000, 0).u16(1),
       [&] { return s->TWAIN_GetCapCurrent(ICAP_UNITS, TWTY_UINT16, &v); }},
      {"default index beyond", TWON_ENUMERATION, Enumeration(TWTY_UINT16, 100, 0, 99).u16(1),
       [&] { return s->TWAIN_GetCapDefault(ICAP_UNITS, TWTY_UINT16, &v); }},
      {"range query on a short enumeration", TWON_ENUMERATION, Enumeration(TWTY_FIX32, 100, 0, 50).fix(1),
       [&] { return s->TWAIN_GetCapRange(ICAP_UNITS, a, b, c, d, e); }},
      {"a range of ten bytes", TWON_RANGE, Bytes().u16(TWTY_FIX32).u32(0).u32(0),
       [&] { return s->TWAIN_GetCapRange(ICAP_UNITS, a, b, c, d, e); }},
      {"NumItems beyond the block", TWON_ENUMERATION, Enumeration(TWTY_UINT16, 0x7FFFFFFF, 0, 0).u16(1),
       [&] { return s->TWAIN_GetCapEnumeration(ICAP_UNITS, TWTY_UINT16, &list, cur, def); }},
      {"one value without its item", TWON_ONEVALUE, Bytes().u16(TWTY_UINT16),
       [&] { return s->TWAIN_GetCapEnumeration(ICAP_UNITS, TWTY_UINT16, &list, cur, def); }},
  };
  for (auto& k : cases) {
    SCOPED_TRACE(k.what);
    debug->Clear();
    Answer(k.conType, k.bytes);
    EXPECT_FALSE(k.query());
    EXPECT_EQ(debug->All(), small);
  }
  EXPECT_EQ(v, 7u);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(cur, -5);
  EXPECT_EQ(a, 1.0f);
}

TEST_F(ScriptedTest, RangeQueryReductions) {
  float mn = -9, mx = -9, st = -9, df = -9, cu = -9;
  Answer(TWON_RANGE, Bytes().u16(TWTY_UINT16).u32(50).u32(1200).u32(1).u32(300).u32(4000000000u));
  EXPECT_TRUE(s->TWAIN_GetCapRange(ICAP_XRESOLUTION, mn, mx, st, df, cu));
  EXPECT_EQ(std::vector<float>({mn, mx, st, df, cu}), std::vector<float>({50, 1200, 1, 300, 4e9f}));

  Answer(TWON_ENUMERATION, Enumeration(TWTY_FIX32, 3, 0, 2).fix(75).fix(150).fix(300));
  EXPECT_TRUE(s->TWAIN_GetCapRange(ICAP_XRESOLUTION, mn, mx, st, df, cu));
  EXPECT_EQ(std::vector<float>({mn, mx, st, df, cu}), std::vector<float>({300, 300, 0, 300, 300}));

  Answer(TWON_ENUMERATION, Enumeration(TWTY_STR32, 1, 0, 0).put(std::string(34, 'x').data(), 34));
  EXPECT_TRUE(s->TWAIN_GetCapRange(ICAP_XRESOLUTION, mn, mx, st, df, cu));
  EXPECT_EQ(mx, 0.0f);

  mn = -9;
  Answer(TWON_ENUMERATION, Enumeration(TWTY_FIX32, 3, 0, 3).fix(75).fix(150).fix(300));
  EXPECT_FALSE(s->TWAIN_GetCapRange(ICAP_XRESOLUTION, mn, mx, st, df, cu));
  EXPECT_EQ(mn, -9.0f);
  EXPECT_TRUE(debug->Lines().empty());

  Answer(TWON_ONEVALUE, Bytes().u16(TWTY_FIX32).fix(2.2f));
  EXPECT_FALSE(s->TWAIN_GetCapRange(ICAP_GAMMA, mn, mx, st, df, cu));
  EXPECT_EQ(debug->All(), Report("ConType Missmatch 5 (ICAP_GAMMA ($1108))") + "\n");
}

TEST_F(ScriptedTest, EnumerationQueryReductions) {
  vcl::TList list;
  int32_t cur = -5, def = -5;
  struct {
    const char* what;
    uint16_t conType;
    Bytes bytes;
    int32_t type;
    std::vector<intptr_t> items;
    int32_t cur, def;
  } cases[] = {
      {"no items", TWON_ENUMERATION, Enumeration(TWTY_UINT16, 0, 3, 4), TWTY_UINT16, {}, 3, 4},
      {"booleans", TWON_ENUMERATION, Enumeration(TWTY_BOOL, 2, 0, 1).u16(1).u16(0), TWTY_BOOL, {-1, 0}, 0, 1},
      {"fix32 truncated", TWON_ENUMERATION, Enumeration(TWTY_FIX32, 3, 1, 1).fix(0.5f).fix(-2.5f).fix(300.75f),
       TWTY_FIX32, {0, -2, 300}, 1, 1},
      {"int16 read as uint16", TWON_ENUMERATION, Enumeration(TWTY_INT16, 2, 0, 0).u16(0xFFFF).u16(2), TWTY_UINT16,
       {65535, 2}, 0, 0},
      {"one value", TWON_ONEVALUE, Bytes().u16(TWTY_UINT16).u16(5), TWTY_UINT16, {5}, 0, 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    list.Add(reinterpret_cast<void*>(intptr_t(99)));
    Answer(c.conType, c.bytes);
    EXPECT_TRUE(s->TWAIN_GetCapEnumeration(ICAP_UNITS, c.type, &list, cur, def));
    EXPECT_EQ(Items(list), c.items);
    EXPECT_EQ(cur, c.cur);
    EXPECT_EQ(def, c.def);
  }
  EXPECT_TRUE(debug->Lines().empty());

  list.Add(nullptr);
  Answer(TWON_ENUMERATION, Enumeration(TWTY_UINT32, 1, 0, 0).u32(1));
  EXPECT_FALSE(s->TWAIN_GetCapEnumeration(ICAP_UNITS, TWTY_UINT16, &list, cur, def));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(debug->All(), Report("ItemType Missmatch") + "\n");
  debug->Clear();
  Answer(TWON_RANGE, Bytes().u16(TWTY_UINT16).u32(0).u32(0).u32(0).u32(0).u32(0));
  EXPECT_FALSE(s->TWAIN_GetCapEnumeration(ICAP_UNITS, TWTY_UINT16, &list, cur, def));
  EXPECT_EQ(debug->All(), Report("ConType Missmatch 6 (ICAP_UNITS ($0102))") + "\n");
}

TEST_F(ScriptedTest, FailuresAndMissingContainersAreReportedByQuery) {
  uint32_t v = 0;
  float f = 0;
  vcl::TList list;
  int32_t i = 0;
  std::string name = "ICAP_UNITS ($0102)";
  struct {
    std::function<bool()> query;
    std::string failure, nullHandle;
  } cases[] = {
      {[&] { return s->TWAIN_GetCapCurrent(ICAP_UNITS, TWTY_UINT16, &v); }, "GetCurrent Failed (" + name + ")",
       "GetCurrent Failed. Invalid Container Handle (" + name + ")"},
      {[&] { return s->TWAIN_GetCapDefault(ICAP_UNITS, TWTY_UINT16, &v); }, "GetDefault Failed (" + name + ")",
       "GetDefault Failed. Invalid Container Handle (" + name + ")"},
      {[&] { return s->TWAIN_GetCapRange(ICAP_UNITS, f, f, f, f, f); }, "TWAIN_GetCapRange Failed : " + name,
       "TWAIN_GetCapRange Failed : " + name},
      {[&] { return s->TWAIN_GetCapEnumeration(ICAP_UNITS, TWTY_UINT16, &list, i, i); },
       "TWAIN_GetCapEnumeration Failed : " + name, "TWAIN_GetCapEnumeration Failed : " + name},
  };
  for (auto& c : cases) {
    debug->Clear();
    scripted.rc = TWRC_FAILURE;
    EXPECT_FALSE(c.query());
    EXPECT_EQ(debug->All(), ErrorText(c.failure, "TWRC_FAILURE", "TWCC_SUCCESS") + "\n");
    debug->Clear();
    scripted.rc = TWRC_SUCCESS;
    Answer(TWON_ONEVALUE, Bytes());
    EXPECT_FALSE(c.query());
    EXPECT_EQ(debug->All(), Report(c.nullHandle) + "\n");
  }
  // A failing source that hands over a container anyway: freed, then an assertion.
  scripted.rc = TWRC_FAILURE;
  scripted.leaveHandleOnFailure = true;
  Answer(TWON_ONEVALUE, Bytes().u16(TWTY_UINT16).u16(1));
  EXPECT_THROW(s->TWAIN_GetCapCurrent(ICAP_UNITS, TWTY_UINT16, &v), vcl::EAssertionFailed);
}

TEST_F(ScriptedTest, AnExceptionDuringSetIsShownInAMessageBox) {
  s->FDSMEntry = [](pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF) -> TW_UINT16 {
    if (DAT == DAT_CAPABILITY && MSG == MSG_SET) throw vcl::Exception("source broke");
    return TWRC_FAILURE;
  };
  desktop.Press("OK");
  EXPECT_FALSE(s->TWAIN_SetCapFix32(ICAP_GAMMA, 2));
  ASSERT_FALSE(desktop.Shown().empty());
  EXPECT_EQ(desktop.Shown().back().texts.at(0), "source broke");
  EXPECT_EQ(desktop.Shown().back().messageBoxType & MB_ICONMASK, UINT(MB_ICONSTOP));
}

// ---- Through the manager and the virtual scanner ---------------------------------------------------------

using QueryTest = RtTest;

TEST_F(QueryTest, TypedAccessorsAgainstTheVirtualScanner) {
  AddVirtual("Scanner A", "Unsupported = ICAP_SUPPORTEDSIZES\nContainer = CAP_XFERCOUNT:enumeration\n");
  TestScanner& s = NewScanner();
  ASSERT_TRUE(s.TWAIN_OpenDefaultSource(AppWindow()));
  EXPECT_EQ(s.TWAIN_GetPixelType(), TWPT_RGB);
  EXPECT_TRUE(s.TWAIN_SetPixelType(TWPT_GRAY));
  EXPECT_EQ(s.TWAIN_GetPixelType(), TWPT_GRAY);
  EXPECT_EQ(s.TWAIN_GetBitDepth(), 8);
  EXPECT_EQ(s.TWAIN_GetCapFix32(ICAP_XRESOLUTION, -1), 300.0f);
  EXPECT_TRUE(s.TWAIN_SetCurrentUnits(TWUN_PIXELS));
  EXPECT_EQ(s.TWAIN_GetCurrentUnits(), TWUN_PIXELS);
  EXPECT_TRUE(s.TWAIN_GetIndicators());
  EXPECT_TRUE(debug->Lines().empty()) << debug->All();

  EXPECT_EQ(s.TWAIN_GetCapUint16(ICAP_SUPPORTEDSIZES, -1), -1);
  EXPECT_TRUE(debug->Contains("GetCurrent Failed (ICAP_SUPPORTEDSIZES ($1122))\r\n ResultCode=TWRC_FAILURE"));

  // The source's INT16 enumeration read as UINT16.
  vcl::TList list;
  int32_t cur = -1, def = -1;
  EXPECT_TRUE(s.TWAIN_GetCapEnumeration(CAP_XFERCOUNT, TWTY_UINT16, &list, cur, def));
  ASSERT_GE(list.Count(), 1);
  EXPECT_EQ(reinterpret_cast<intptr_t>(list.Get(cur)), 65535);  // -1: as many as there are
}

TEST_F(QueryTest, RangesFromTheVirtualScanner) {
  AddVirtual("Scanner A", "Resolutions = 75, 150, 300\nDefaultResolution = 300\nContainer = ICAP_GAMMA:onevalue\n");
  TestScanner& s = NewScanner();
  ASSERT_TRUE(s.TWAIN_OpenDefaultSource(AppWindow()));
  float mn, mx, st, df, cu;
  EXPECT_TRUE(s.TWAIN_GetCapRange(ICAP_XRESOLUTION, mn, mx, st, df, cu));
  EXPECT_EQ(std::vector<float>({mn, mx, st, df, cu}), std::vector<float>({300, 300, 0, 300, 300}));
  EXPECT_FALSE(s.TWAIN_GetCapRange(ICAP_GAMMA, mn, mx, st, df, cu));
  EXPECT_TRUE(debug->Contains("ConType Missmatch 5 (ICAP_GAMMA ($1108))\r\n"));
  EXPECT_TRUE(s.TWAIN_GetCapRange(ICAP_BRIGHTNESS, mn, mx, st, df, cu));
  EXPECT_LT(mn, mx);
}

TEST_F(QueryTest, ImageLayoutIsCorrectedOnTheWayIn) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  ASSERT_TRUE(s.TWAIN_OpenDefaultSource(AppWindow()));
  EXPECT_TRUE(s.TWAIN_SetImageLayout(1, 2, 5, 7.5f));
  float l = -1, t = -1, r = -1, b = -1;
  EXPECT_TRUE(s.TWAIN_GetImageLayout(l, t, r, b));
  EXPECT_EQ(std::vector<float>({l, t, r, b}), std::vector<float>({1, 2, 5, 7.5f}));
}

TEST_F(ScriptedTest, ImageLayoutCorrectionOrder) {
  // left -0.5, top 1, right 0.25, bottom 0.5 -> 0, 1, 0.25, 1
  s->FDSMEntry = [](pTW_IDENTITY, pTW_IDENTITY, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF p) -> TW_UINT16 {
    if (DG != DG_IMAGE || DAT != DAT_IMAGELAYOUT || MSG != MSG_GET) return TWRC_FAILURE;
    auto* layout = static_cast<TW_IMAGELAYOUT*>(p);
    layout->Frame = {SingleToFix32(-0.5f), SingleToFix32(1), SingleToFix32(0.25f), SingleToFix32(0.5f)};
    return TWRC_SUCCESS;
  };
  float l, t, r, b;
  EXPECT_TRUE(s->TWAIN_GetImageLayout(l, t, r, b));
  EXPECT_EQ(std::vector<float>({l, t, r, b}), std::vector<float>({0, 1, 0.25f, 1}));
}

TEST_F(QueryTest, WithoutASourceEveryQueryReportsAndDefaults) {
  TestScanner& s = NewScanner();
  vcl::TList list;
  list.Add(nullptr);
  int32_t cur = 3, def = 3;
  float f = 4;
  uint32_t v = 5;
  EXPECT_FALSE(s.TWAIN_GetCapCurrent(ICAP_UNITS, TWTY_UINT16, &v));
  EXPECT_FALSE(s.TWAIN_GetCapDefault(ICAP_UNITS, TWTY_UINT16, &v));
  EXPECT_FALSE(s.TWAIN_GetCapRange(ICAP_GAMMA, f, f, f, f, f));
  EXPECT_FALSE(s.TWAIN_GetCapEnumeration(ICAP_UNITS, TWTY_UINT16, &list, cur, def));
  EXPECT_EQ(s.TWAIN_GetCapUint16(ICAP_UNITS, -1), -1);
  EXPECT_EQ(s.TWAIN_GetCapFix32(ICAP_GAMMA, 2.5f), 2.5f);
  EXPECT_TRUE(s.TWAIN_GetCapBool(CAP_INDICATORS, true));
  EXPECT_EQ(s.TWAIN_GetBitDepth(), 8);
  EXPECT_FALSE(s.TWAIN_SetImageLayout(0, 0, 1, 1));
  EXPECT_FALSE(s.TWAIN_GetImageLayout(f, f, f, f));
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(v, 5u);
  EXPECT_EQ(f, 4.0f);
  EXPECT_EQ(cur, 3);
  EXPECT_EQ(debug->Lines().size(), 10u);
  for (auto& line : debug->Lines()) EXPECT_EQ(line, ErrorText("Data Source not open", "TWRC_SUCCESS", "TWCC_BUMMER"));
}

}  // namespace
}  // namespace korven::test
