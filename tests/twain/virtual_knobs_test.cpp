// Each knob of the configuration makes the source misbehave in its one documented way.
#include "virtual_fixture.h"

#include <algorithm>
#include <functional>

namespace korven::test {
namespace {

struct KnobCase {
  const char* name;
  const char* ini;
  std::function<void(TwainApp&)> check;
};
void PrintTo(const KnobCase& c, std::ostream* os) { *os << c.name; }

class Knob : public VirtualTest, public ::testing::WithParamInterface<KnobCase> {};

TEST_P(Knob, BehavesAsDocumented) {
  TwainApp& app = Open(GetParam().ini);
  GetParam().check(app);
}

void ExpectFailure(TwainApp& app, TW_UINT16 rc, TW_UINT16 cc) {
  EXPECT_EQ(rc, TWRC_FAILURE);
  EXPECT_EQ(app.SourceCondition(), cc);
}

// Enables without the dialog and waits; the image is then on offer (state 6).
void Ready(TwainApp& app) {
  ASSERT_EQ(app.Enable(false), TWRC_SUCCESS);
  ASSERT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);
}

// The gray image a transfer delivers, at 50 dpi.
TW_HANDLE GreyScan(TwainApp& app) {
  EXPECT_EQ(app.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
  for (TW_UINT16 cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION}) EXPECT_EQ(SetFix32(app, cap, 50), TWRC_SUCCESS);
  Ready(app);
  TW_HANDLE h = 0;
  EXPECT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
  return h;
}

// A container exactly as the source handed it out, bytes and all, however it lies about itself; the
// block is freed. `rc` is the answer, which may be a failure that still came with a container.
struct RawContainer {
  TW_UINT16 rc = TWRC_FAILURE;
  TW_UINT16 conType = 0;
  std::vector<unsigned char> bytes;
  uint16_t U16(size_t at) const {
    uint16_t v = 0;
    if (at + 2 <= bytes.size()) std::memcpy(&v, bytes.data() + at, 2);
    return v;
  }
  uint32_t U32(size_t at) const {
    uint32_t v = 0;
    if (at + 4 <= bytes.size()) std::memcpy(&v, bytes.data() + at, 4);
    return v;
  }
};

RawContainer RawCap(TwainApp& app, TW_UINT16 msg, TW_UINT16 capId) {
  RawContainer r;
  TW_CAPABILITY cap{};
  r.rc = app.Capability(msg, capId, cap);
  r.conType = cap.ConType;
  GlobalBlock block(cap.hContainer);
  if (auto* p = static_cast<const unsigned char*>(block.Lock())) r.bytes.assign(p, p + block.Size());
  return r;
}

const KnobCase kKnobs[] = {
    {"RefuseGet", "RefuseGet = ICAP_GAMMA, ICAP_UNITS\n",
     [](TwainApp& app) {
       for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT})
         ExpectFailure(app, ReadCap(app, msg, ICAP_GAMMA).rc, TWCC_CAPBADOPERATION);
       ExpectFailure(app, ReadCap(app, MSG_GET, ICAP_UNITS).rc, TWCC_CAPBADOPERATION);
       EXPECT_EQ(SetFix32(app, ICAP_GAMMA, 1.0), TWRC_SUCCESS);  // only reading is refused
       EXPECT_EQ(ReadCap(app, MSG_GET, ICAP_CONTRAST).rc, TWRC_SUCCESS);
     }},
    {"RefuseSet", "RefuseSet = ICAP_BRIGHTNESS\n",
     [](TwainApp& app) {
       ExpectFailure(app, SetFix32(app, ICAP_BRIGHTNESS, 10), TWCC_CAPBADOPERATION);
       ExpectFailure(app, ReadCap(app, MSG_RESET, ICAP_BRIGHTNESS).rc, TWCC_CAPBADOPERATION);
       EXPECT_EQ(ReadCap(app, MSG_GET, ICAP_BRIGHTNESS).rc, TWRC_SUCCESS);
     }},
    {"Unsupported", "Unsupported = ICAP_CONTRAST, 0x1108\n",
     [](TwainApp& app) {
       ExpectFailure(app, ReadCap(app, MSG_GET, ICAP_CONTRAST).rc, TWCC_CAPUNSUPPORTED);
       ExpectFailure(app, SetFix32(app, ICAP_GAMMA, 1), TWCC_CAPUNSUPPORTED);
       auto caps = ReadCap(app, MSG_GET, CAP_SUPPORTEDCAPS).items;
       EXPECT_EQ(std::count(caps.begin(), caps.end(), ICAP_CONTRAST), 0);
       EXPECT_EQ(std::count(caps.begin(), caps.end(), ICAP_GAMMA), 0);
     }},
    {"ContainerOneValue", "Container = ICAP_GAMMA:onevalue\n",
     [](TwainApp& app) {
       for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT}) {
         CapReading r = ReadCap(app, msg, ICAP_GAMMA);
         EXPECT_EQ(r.conType, TWON_ONEVALUE);
         EXPECT_NEAR(r.current, 2.2, 1e-4);
       }
     }},
    {"ContainerEnumeration", "Container = ICAP_XRESOLUTION:enumeration, CAP_INDICATORS:enumeration\n",
     [](TwainApp& app) {
       ASSERT_EQ(SetFix32(app, ICAP_XRESOLUTION, 150), TWRC_SUCCESS);
       CapReading r = ReadCap(app, MSG_GET, ICAP_XRESOLUTION);
       EXPECT_EQ(r.conType, TWON_ENUMERATION);
       EXPECT_EQ(r.items.front(), 50);
       EXPECT_EQ(r.items.back(), 1200);
       EXPECT_EQ(r.current, 150);
       EXPECT_EQ(r.deflt, 300);
       CapReading current = ReadCap(app, MSG_GETCURRENT, ICAP_XRESOLUTION);
       EXPECT_EQ(current.conType, TWON_ENUMERATION);
       EXPECT_EQ(current.current, 150);
       EXPECT_EQ(ReadCap(app, MSG_GET, CAP_INDICATORS).conType, TWON_ENUMERATION);
     }},
    {"ContainerRange", "Container = ICAP_PIXELTYPE:range\n",
     [](TwainApp& app) {
       CapReading r = ReadCap(app, MSG_GET, ICAP_PIXELTYPE);
       EXPECT_EQ(r.conType, TWON_RANGE);
       EXPECT_EQ(r.itemType, TWTY_UINT16);
       EXPECT_EQ(std::vector<double>({r.min, r.max, r.step, r.deflt, r.current}), std::vector<double>({0, 3, 1, 2, 2}));
       EXPECT_EQ(ReadCap(app, MSG_GETDEFAULT, ICAP_PIXELTYPE).conType, TWON_RANGE);
     }},
    {"EnableCheckStatus", "EnableResult = checkstatus\n",
     [](TwainApp& app) {
       EXPECT_EQ(app.Enable(false), TWRC_CHECKSTATUS);
       EXPECT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);  // enabled all the same
     }},
    {"RefuseImageInfo", "RefuseImageInfo = yes\n",
     [](TwainApp& app) {
       Ready(app);
       TW_IMAGEINFO info{};
       ExpectFailure(app, app.ImageInfo(info), TWCC_BUMMER);
       TW_HANDLE h = 0;
       EXPECT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
       GlobalBlock dib(h);
     }},
    {"TransferCancel", "TransferResult = cancel\n",
     [](TwainApp& app) {
       Ready(app);
       TW_HANDLE h = 0xDEAD;
       EXPECT_EQ(app.NativeXfer(h), TWRC_CANCEL);
       EXPECT_EQ(h, 0u);
       TW_PENDINGXFERS pending{};
       EXPECT_EQ(app.EndXfer(pending), TWRC_SUCCESS);  // from state 7
       EXPECT_EQ(+pending.Count, 0);
     }},
    {"TransferFailure", "TransferResult = failure\n",
     [](TwainApp& app) {
       Ready(app);
       TW_HANDLE h = 0;
       ExpectFailure(app, app.NativeXfer(h), TWCC_OPERATIONERROR);
       EXPECT_EQ(h, 0u);
       TW_PENDINGXFERS pending{};
       EXPECT_EQ(app.ResetXfers(pending), TWRC_SUCCESS);  // still in state 6
     }},
    {"SeveralImagesAtOnce", "ImagesPerScan = 3\n",
     [](TwainApp& app) {
       Ready(app);
       TW_PENDINGXFERS pending{};
       EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
       EXPECT_EQ(+pending.Count, 3);
       for (int left : {2, 1, 0}) {
         ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
         EXPECT_EQ(+pending.Count, left);
       }
     }},
    {"UnknownCount", "ImagesPerScan = 2\nPendingCount = unknown\n",
     [](TwainApp& app) {
       Ready(app);
       TW_PENDINGXFERS pending{};
       EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
       EXPECT_EQ(+pending.Count, 0xFFFF);
       ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
       EXPECT_EQ(+pending.Count, 0xFFFF);
       ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
       EXPECT_EQ(+pending.Count, 0);
     }},
    {"CoreHeader", "DibHeader = core\n",
     [](TwainApp& app) {
       Dib dib(GreyScan(app));
       ASSERT_TRUE(dib.Valid());
       EXPECT_EQ(dib.headerSize, 12u);
       EXPECT_EQ(dib.width, 440);
       EXPECT_EQ(dib.size, 12 + 256 * 3 + dib.stride * dib.height);
       EXPECT_EQ(dib.Entry(200), 0xC8C8C8u);
       EXPECT_EQ(dib.Pixel(0, 0), 0xF0F0F0u);  // paper
     }},
    {"ShortColorTable", "DibColorTable = short\n",
     [](TwainApp& app) {
       Dib dib(GreyScan(app));
       ASSERT_TRUE(dib.Valid());
       EXPECT_EQ(dib.clrUsed, 16u);
       EXPECT_EQ(dib.size, 40 + 16 * 4 + dib.stride * dib.height);
       for (int y = 0; y < dib.height; y += 3)
         for (int x = 0; x < dib.width; ++x) ASSERT_LT(dib.Row(y)[x], 16) << x << "," << y;
       EXPECT_EQ(dib.Pixel(0, 0), 0xEEEEEEu);  // paper, to the nearest of 16 greys
     }},
    {"ShortPaletteTable", "DibColorTable = short\n",
     [](TwainApp& app) {
       ASSERT_EQ(app.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_PALETTE), TWRC_SUCCESS);
       for (TW_UINT16 cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION}) ASSERT_EQ(SetFix32(app, cap, 50), TWRC_SUCCESS);
       Dib dib(ScanOne(app));
       EXPECT_EQ(dib.clrUsed, 216u);
       EXPECT_TRUE(dib.Valid());
     }},
    {"ZeroSizeImage", "DibSizeImage = zero\n",
     [](TwainApp& app) {
       Dib dib(GreyScan(app));
       EXPECT_EQ(dib.sizeImage, 0u);
       EXPECT_TRUE(dib.Valid());
     }},
    {"TruncatedBlock", "DibTruncate = yes\n",
     [](TwainApp& app) {
       Dib dib(GreyScan(app));
       EXPECT_FALSE(dib.Valid());
       EXPECT_EQ(dib.size, 40 + 256 * 4 + dib.stride * dib.height / 2);
       EXPECT_EQ(dib.sizeImage, dib.stride * dib.height);  // the header still claims the whole image
     }},
    {"CloseAfterTwo", "ImagesPerScan = 5\nCloseAfter = 2\n",
     [](TwainApp& app) {
       Ready(app);
       TW_PENDINGXFERS pending{};
       for (int i = 0; i < 2; ++i) {
         TW_HANDLE h = 0;
         ASSERT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
         GlobalBlock dib(h);
         ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
       }
       EXPECT_EQ(+pending.Count, 0);
       EXPECT_EQ(app.WaitForSourceEvent(), MSG_CLOSEDSREQ);
     }},
    {"RefuseEndXferCount", "RefuseEndXferCount = 2\n",
     [](TwainApp& app) {
       Ready(app);
       TW_HANDLE h = 0;
       ASSERT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
       GlobalBlock dib(h);
       TW_PENDINGXFERS pending{};
       for (int i = 0; i < 2; ++i) ExpectFailure(app, app.EndXfer(pending), TWCC_BUMMER);
       ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);  // the third goes through
       EXPECT_EQ(+pending.Count, 0);
       EXPECT_EQ(app.Disable(), TWRC_SUCCESS);
       // The limit is the connection's: the next enable's MSG_ENDXFER is not refused.
       TW_HANDLE again = ScanOne(app);
       GlobalBlock second(again);
     }},
    {"RefuseEndXferAtTheSecond", "ImagesPerScan = 3\nRefuseEndXferAt = 2\n",
     [](TwainApp& app) {
       Ready(app);
       TW_PENDINGXFERS pending{};
       for (int page = 1; page <= 2; ++page) {
         TW_HANDLE h = 0;
         ASSERT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
         GlobalBlock dib(h);
         if (page == 2) ExpectFailure(app, app.EndXfer(pending), TWCC_BUMMER);
         ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);  // only that one is refused
       }
       EXPECT_EQ(+pending.Count, 1);
     }},
    {"RefuseEnableAfterOne", "RefuseEnableAfter = 1\n",
     [](TwainApp& app) {
       TW_HANDLE h = ScanOne(app);
       GlobalBlock dib(h);
       ExpectFailure(app, app.Enable(false), TWCC_BUMMER);
     }},
    {"AnnounceLate", "AnnounceAfter = 30\n",
     [](TwainApp& app) {
       ASSERT_EQ(app.Enable(false), TWRC_SUCCESS);
       MSG msg{};
       EXPECT_FALSE(PeekMessageA(&msg, 0, 0xC000, 0xFFFF, PM_NOREMOVE));  // not yet
       EXPECT_EQ(platform::LiveTimerCount(), 1u);
       EXPECT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);
       EXPECT_EQ(platform::LiveTimerCount(), 0u);
       TW_HANDLE h = 0;
       EXPECT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
       GlobalBlock dib(h);
     }},
    {"AnnounceLateIsCancelledByDisabling", "AnnounceAfter = 60000\n",
     [](TwainApp& app) {
       ASSERT_EQ(app.Enable(false), TWRC_SUCCESS);
       EXPECT_EQ(platform::LiveTimerCount(), 1u);
       EXPECT_EQ(app.Disable(), TWRC_SUCCESS);
       EXPECT_EQ(platform::LiveTimerCount(), 0u);
     }},
    {"AnnounceNever", "AnnounceAfter = never\n",
     [](TwainApp& app) {
       ASSERT_EQ(app.Enable(false), TWRC_SUCCESS);
       MSG msg{};
       EXPECT_FALSE(PeekMessageA(&msg, 0, 0, 0, PM_NOREMOVE));
       EXPECT_EQ(platform::LiveTimerCount(), 0u);
       TW_PENDINGXFERS pending{};
       EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
       EXPECT_EQ(+pending.Count, 0);
       EXPECT_EQ(app.Disable(), TWRC_SUCCESS);
     }},
    {"DeliverSlowly", "DeliverDelay = 20\n",
     [](TwainApp& app) {
       Ready(app);
       DWORD start = GetTickCount();
       TW_HANDLE h = 0;
       EXPECT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
       GlobalBlock dib(h);
       EXPECT_GE(GetTickCount() - start, 20u);  // a lower bound only: the delay is the knob's whole point
     }},
    {"StopAnsweringMidBatch", "Feeder = yes\nPagesLoaded = 3\nStopAnsweringAfter = 1\nCloseWhenDone = yes\n",
     [](TwainApp& app) {
       ASSERT_EQ(app.SetOneValue(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
       Ready(app);
       TW_HANDLE h = 0;
       ASSERT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
       GlobalBlock dib(h);
       TW_PENDINGXFERS pending{};
       ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
       EXPECT_EQ(+pending.Count, 0);  // two pages left in the feeder, yet nothing is pending
       MSG msg{};
       EXPECT_FALSE(PeekMessageA(&msg, 0, 0, 0, PM_NOREMOVE));  // and no close request either
       EXPECT_EQ(app.Disable(), TWRC_SUCCESS);
     }},
    {"CloseWhenDoneOff", "CloseWhenDone = no\n",
     [](TwainApp& app) {
       Ready(app);
       TW_PENDINGXFERS pending{};
       ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
       ASSERT_EQ(+pending.Count, 0);
       MSG left{};
       EXPECT_FALSE(PeekMessageA(&left, 0, 0, 0, PM_NOREMOVE)) << "message " << left.message << " posted";
     }},
    {"ContainerLieNumItems", "ContainerLie = ICAP_PIXELTYPE:numitems, CAP_SUPPORTEDCAPS:numitems\n",
     [](TwainApp& app) {
       RawContainer e = RawCap(app, MSG_GET, ICAP_PIXELTYPE);
       ASSERT_EQ(e.conType, TWON_ENUMERATION);
       EXPECT_EQ(e.bytes.size(), 14u + 4 * 2);  // the block holds the four pixel types
       EXPECT_EQ(e.U32(2), 1004u);
       EXPECT_EQ(e.U32(6), 2u);  // the indexes still tell the truth
       RawContainer a = RawCap(app, MSG_GET, CAP_SUPPORTEDCAPS);
       ASSERT_EQ(a.conType, TWON_ARRAY);
       EXPECT_EQ(a.U32(2), (a.bytes.size() - 6) / 2 + 1000);
       EXPECT_EQ(ReadCap(app, MSG_GETCURRENT, ICAP_PIXELTYPE).current, TWPT_RGB);  // one-values have no count
     }},
    {"ContainerLieIndexes", "ContainerLie = ICAP_PIXELTYPE:currentindex, ICAP_UNITS:defaultindex\n",
     [](TwainApp& app) {
       RawContainer pixel = RawCap(app, MSG_GET, ICAP_PIXELTYPE);
       EXPECT_EQ(std::vector<uint32_t>({pixel.U32(2), pixel.U32(6), pixel.U32(10)}), std::vector<uint32_t>({4, 4, 2}));
       RawContainer units = RawCap(app, MSG_GET, ICAP_UNITS);
       EXPECT_EQ(std::vector<uint32_t>({units.U32(2), units.U32(6), units.U32(10)}), std::vector<uint32_t>({6, 0, 6}));
       EXPECT_EQ(units.bytes.size(), 14u + 6 * 2);
     }},
    {"ContainerLieShortBlock", "ContainerLie = ICAP_PIXELTYPE:short, ICAP_GAMMA:short, CAP_INDICATORS:short\n",
     [](TwainApp& app) {
       RawContainer e = RawCap(app, MSG_GET, ICAP_PIXELTYPE);
       EXPECT_EQ(e.U32(2), 4u);
       EXPECT_EQ(e.bytes.size(), 14u + 3 * 2 + 1);  // half of the last UINT16
       RawContainer range = RawCap(app, MSG_GET, ICAP_GAMMA);
       ASSERT_EQ(range.conType, TWON_RANGE);
       EXPECT_EQ(range.bytes.size(), 18u + 2);  // half of CurrentValue's FIX32
       RawContainer one = RawCap(app, MSG_GETCURRENT, CAP_INDICATORS);
       ASSERT_EQ(one.conType, TWON_ONEVALUE);
       EXPECT_EQ(one.U16(0), TWTY_BOOL);
       EXPECT_EQ(one.bytes.size(), 3u);
       EXPECT_EQ(SetFix32(app, ICAP_GAMMA, 1.0), TWRC_SUCCESS);  // setting is not affected
     }},
    {"EmptyEnumeration", "EmptyEnumeration = ICAP_PIXELTYPE, ICAP_GAMMA\n",
     [](TwainApp& app) {
       for (TW_UINT16 cap : {ICAP_PIXELTYPE, ICAP_GAMMA})
         for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT}) {
           RawContainer e = RawCap(app, msg, cap);
           EXPECT_EQ(e.rc, TWRC_SUCCESS);
           ASSERT_EQ(e.conType, TWON_ENUMERATION);
           EXPECT_EQ(e.bytes.size(), 14u);
           EXPECT_EQ(std::vector<uint32_t>({e.U32(2), e.U32(6), e.U32(10)}), std::vector<uint32_t>({0, 0, 0}));
         }
       EXPECT_EQ(app.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
     }},
    {"EnumerationItemTypes",
     "EnumerationType = ICAP_PIXELTYPE:fix32, ICAP_XRESOLUTION:uint32, ICAP_BITDEPTH:bool, ICAP_BRIGHTNESS:uint32\n",
     [](TwainApp& app) {
       CapReading pixel = ReadCap(app, MSG_GET, ICAP_PIXELTYPE);
       EXPECT_EQ(pixel.conType, TWON_ENUMERATION);
       EXPECT_EQ(pixel.itemType, TWTY_FIX32);
       EXPECT_EQ(pixel.items, std::vector<double>({0, 1, 2, 3}));
       EXPECT_EQ(pixel.current, TWPT_RGB);
       ASSERT_EQ(SetFix32(app, ICAP_XRESOLUTION, 150), TWRC_SUCCESS);
       CapReading res = ReadCap(app, MSG_GETCURRENT, ICAP_XRESOLUTION);
       EXPECT_EQ(res.conType, TWON_ENUMERATION);
       EXPECT_EQ(res.itemType, TWTY_UINT32);
       EXPECT_EQ(res.items.size(), 1151u);
       EXPECT_EQ(res.current, 150);
       EXPECT_EQ(res.deflt, 300);
       CapReading depth = ReadCap(app, MSG_GET, ICAP_BITDEPTH);
       EXPECT_EQ(depth.itemType, TWTY_BOOL);
       EXPECT_EQ(depth.items, std::vector<double>({0, 1}));
       EXPECT_EQ(depth.current, 1);
       CapReading bright = ReadCap(app, MSG_GET, ICAP_BRIGHTNESS);  // a signed range: no negative UINT32
       EXPECT_EQ(bright.items.front(), 0);
       EXPECT_EQ(bright.items.back(), 1000);
       EXPECT_EQ(bright.current, 0);
     }},
    {"FailWithContainer", "FailWithContainer = ICAP_GAMMA\n",
     [](TwainApp& app) {
       for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT}) {
         RawContainer r = RawCap(app, msg, ICAP_GAMMA);
         ExpectFailure(app, r.rc, TWCC_BUMMER);
         EXPECT_EQ(r.conType, msg == MSG_GET ? TWON_RANGE : TWON_ONEVALUE);
         EXPECT_EQ(r.U16(0), TWTY_FIX32);  // a whole container came with the failure
       }
       EXPECT_EQ(SetFix32(app, ICAP_GAMMA, 1.0), TWRC_SUCCESS);
       EXPECT_EQ(ReadCap(app, MSG_GET, ICAP_CONTRAST).rc, TWRC_SUCCESS);
     }},
    {"DefaultAsRange", "DefaultAsRange = ICAP_PIXELTYPE, ICAP_GAMMA\n",
     [](TwainApp& app) {
       CapReading pixel = ReadCap(app, MSG_GETDEFAULT, ICAP_PIXELTYPE);
       EXPECT_EQ(pixel.conType, TWON_RANGE);
       EXPECT_EQ(std::vector<double>({pixel.min, pixel.max, pixel.step, pixel.deflt}), std::vector<double>({0, 3, 1, 2}));
       CapReading gamma = ReadCap(app, MSG_GETDEFAULT, ICAP_GAMMA);
       EXPECT_EQ(gamma.conType, TWON_RANGE);
       EXPECT_NEAR(gamma.deflt, 2.2, 1e-4);
       EXPECT_EQ(ReadCap(app, MSG_GET, ICAP_PIXELTYPE).conType, TWON_ENUMERATION);  // only the default
       EXPECT_EQ(ReadCap(app, MSG_GETCURRENT, ICAP_GAMMA).conType, TWON_ONEVALUE);
     }},
    {"RefuseNative", "RefuseNative = yes\n",
     [](TwainApp& app) { ExpectFailure(app, app.SetOneValue(ICAP_XFERMECH, TWTY_UINT16, TWSX_NATIVE), TWCC_BADVALUE); }},
    {"RefuseImageLayout", "RefuseImageLayout = yes\n",
     [](TwainApp& app) {
       TW_IMAGELAYOUT layout{};
       ExpectFailure(app, app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout), TWCC_BADPROTOCOL);
       ExpectFailure(app, app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWCC_BADPROTOCOL);
     }},
    {"RefuseImageLayoutSet", "RefuseImageLayout = set\n",
     [](TwainApp& app) {
       TW_IMAGELAYOUT layout{};
       EXPECT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_SUCCESS);
       ExpectFailure(app, app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWCC_BADPROTOCOL);
     }},
    {"NoPhysicalSize", "PhysicalSize = no\n",
     [](TwainApp& app) {
       ExpectFailure(app, ReadCap(app, MSG_GETCURRENT, ICAP_PHYSICALWIDTH).rc, TWCC_CAPUNSUPPORTED);
       ExpectFailure(app, ReadCap(app, MSG_GETCURRENT, ICAP_PHYSICALHEIGHT).rc, TWCC_CAPUNSUPPORTED);
       TW_IMAGELAYOUT layout{};
       layout.Frame.Right.Whole = 20;
       layout.Frame.Bottom.Whole = 20;
       EXPECT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_CHECKSTATUS);  // still a platen
     }},
    {"NoFeeder", "Feeder = no\n",
     [](TwainApp& app) {
       for (TW_UINT16 cap : {CAP_FEEDERENABLED, CAP_FEEDERLOADED, CAP_AUTOFEED})
         ExpectFailure(app, ReadCap(app, MSG_GETCURRENT, cap).rc, TWCC_CAPUNSUPPORTED);
       auto caps = ReadCap(app, MSG_GET, CAP_SUPPORTEDCAPS).items;
       EXPECT_EQ(std::count(caps.begin(), caps.end(), CAP_FEEDERENABLED), 0);
       TW_HANDLE h = ScanOne(app);  // the flatbed still scans
       GlobalBlock dib(h);
     }},
    {"EmptyFeeder", "PagesLoaded = 0\n",
     [](TwainApp& app) {
       EXPECT_EQ(ReadCap(app, MSG_GETCURRENT, CAP_FEEDERLOADED).current, 0);
       ASSERT_EQ(app.SetOneValue(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
       ExpectFailure(app, app.Enable(false), TWCC_BUMMER);
     }},
};

INSTANTIATE_TEST_SUITE_P(Virtual, Knob, ::testing::ValuesIn(kKnobs), [](const auto& info) { return std::string(info.param.name); });

TEST_F(VirtualTest, ConfigurationProblemsAreReportedAndIgnored) {
  DebugCapture debug;
  TwainApp& app = Open(
      "ProductName = Odd One\nColour = blue\nPagesLoaded = many\nRefuseGet = ICAP_NOSUCH\n"
      "ContainerLie = ICAP_GAMMA:sideways, ICAP_UNITS:short\nEnumerationType = ICAP_GAMMA:int8\nCloseWhenDone = maybe\n");
  EXPECT_EQ(TwainApp::Name(app.Source()), "Odd One");
  EXPECT_TRUE(debug.Contains("line 2: unknown key Colour")) << debug.All();
  EXPECT_TRUE(debug.Contains("line 3: bad value \"many\" for PagesLoaded")) << debug.All();
  EXPECT_TRUE(debug.Contains("unknown capability ICAP_NOSUCH")) << debug.All();
  EXPECT_TRUE(debug.Contains("line 5: bad item \"ICAP_GAMMA:sideways\" for ContainerLie")) << debug.All();
  EXPECT_TRUE(debug.Contains("line 6: bad item \"ICAP_GAMMA:int8\" for EnumerationType")) << debug.All();
  EXPECT_TRUE(debug.Contains("line 7: bad value \"maybe\" for CloseWhenDone")) << debug.All();
  EXPECT_EQ(RawCap(app, MSG_GET, ICAP_UNITS).bytes.size(), 14u + 6 * 2 - 1);  // the good item of the line counts
  EXPECT_EQ(ReadCap(app, MSG_GET, ICAP_GAMMA).rc, TWRC_SUCCESS);
}

}  // namespace
}  // namespace korven::test
