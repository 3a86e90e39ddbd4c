// Image layout, image description and the native transfer: geometry, DIB format, the tone settings'
// effect on the pixels, pending transfers on the flatbed and in the feeder, and sequence errors.
#include "virtual_fixture.h"

#include <set>

namespace korven::test {
namespace {

TW_IMAGELAYOUT Layout(double l, double t, double r, double b) {
  TW_IMAGELAYOUT layout{};
  auto fix = [](double v) {
    TW_UINT32 item = Fix32Item(v);
    TW_FIX32 f;
    std::memcpy(&f, &item, 4);
    return f;
  };
  layout.Frame = {fix(l), fix(t), fix(r), fix(b)};
  return layout;
}

std::vector<double> Edges(const TW_IMAGELAYOUT& l) {
  return {Fix32Value(l.Frame.Left), Fix32Value(l.Frame.Top), Fix32Value(l.Frame.Right), Fix32Value(l.Frame.Bottom)};
}

void ExpectEdges(const TW_IMAGELAYOUT& l, std::vector<double> want) {
  auto got = Edges(l);
  // A FIX32 carries 1/65536 of the unit it was sent in; converted to a finer unit that grows.
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[i], want[i], std::max(1e-4, want[i] * 1e-5)) << "edge " << i;
}

TEST_F(VirtualTest, LayoutIsClampedToThePlaten) {
  TwainApp& app = Open();
  TW_IMAGELAYOUT layout{};
  ASSERT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_SUCCESS);
  ExpectEdges(layout, {0, 0, 8.8, 12});

  layout = Layout(1, 2, 5, 6);
  EXPECT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
  layout = Layout(-1, 0.5, 10, 13);
  EXPECT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_CHECKSTATUS);
  TW_IMAGELAYOUT got{};
  ASSERT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &got), TWRC_SUCCESS);
  ExpectEdges(got, {0, 0.5, 8.8, 12});

  // Nothing left after clamping, or edges the wrong way round: refused, the frame stays.
  for (auto bad : {Layout(9, 0, 10, 5), Layout(3, 3, 2, 5), Layout(1, 1, 1, 1)}) {
    EXPECT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &bad), TWRC_FAILURE);
    EXPECT_EQ(app.SourceCondition(), TWCC_BADVALUE);
  }
  ASSERT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &got), TWRC_SUCCESS);
  ExpectEdges(got, {0, 0.5, 8.8, 12});

  EXPECT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET, &got), TWRC_SUCCESS);
  ExpectEdges(got, {0, 0, 8.8, 12});
  TW_IMAGELAYOUT def{};
  ASSERT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GETDEFAULT, &def), TWRC_SUCCESS);
  ExpectEdges(def, {0, 0, 8.8, 12});
}

TEST_F(VirtualTest, LayoutTravelsInTheCurrentUnit) {
  TwainApp& app = Open();
  ASSERT_EQ(app.SetOneValue(ICAP_UNITS, TWTY_UINT16, TWUN_CENTIMETERS), TWRC_SUCCESS);
  TW_IMAGELAYOUT layout = Layout(2.54, 0, 12.7, 25.4);
  ASSERT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
  struct {
    TW_UINT16 unit;
    std::vector<double> edges;
  } cases[] = {{TWUN_INCHES, {1, 0, 5, 10}}, {TWUN_TWIPS, {1440, 0, 7200, 14400}}, {TWUN_POINTS, {72, 0, 360, 720}},
               {TWUN_PICAS, {6, 0, 30, 60}}, {TWUN_PIXELS, {300, 0, 1500, 3000}}};
  for (const auto& c : cases) {
    ASSERT_EQ(app.SetOneValue(ICAP_UNITS, TWTY_UINT16, c.unit), TWRC_SUCCESS);
    TW_IMAGELAYOUT got{};
    ASSERT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &got), TWRC_SUCCESS);
    ExpectEdges(got, c.edges);
  }
  // The platen's own size read in a unit and sent back is not "beyond the platen".
  double width = ReadCap(app, MSG_GETCURRENT, ICAP_PHYSICALWIDTH).current;
  double height = ReadCap(app, MSG_GETCURRENT, ICAP_PHYSICALHEIGHT).current;
  layout = Layout(0, 0, width, height);
  EXPECT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
}

TEST_F(VirtualTest, SupportedSizeSetsTheFrame) {
  TwainApp& app = Open();
  ASSERT_EQ(app.SetOneValue(ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_USLETTER), TWRC_SUCCESS);
  TW_IMAGELAYOUT got{};
  ASSERT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &got), TWRC_SUCCESS);
  ExpectEdges(got, {0, 0, 8.5, 11});
  TW_IMAGELAYOUT layout = Layout(0, 0, 4, 4);
  ASSERT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
  EXPECT_EQ(ReadCap(app, MSG_GETCURRENT, ICAP_SUPPORTEDSIZES).current, TWSS_NONE);
}

struct GeometryCase {
  const char* name;
  TW_UINT16 pixelType;
  TW_UINT16 unit;
  std::vector<double> frame;
  double resolution, scaling;
  int width, height, bits;
  uint32_t tableEntries;
};
void PrintTo(const GeometryCase& c, std::ostream* os) { *os << c.name; }

class Geometry : public VirtualTest, public ::testing::WithParamInterface<GeometryCase> {};

// The DIB follows frame, resolution, scaling and pixel type, and DAT_IMAGEINFO describes it.
TEST_P(Geometry, DibAndImageInfoAgree) {
  const GeometryCase& c = GetParam();
  TwainApp& app = Open();
  ASSERT_EQ(app.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, c.pixelType), TWRC_SUCCESS);
  ASSERT_EQ(app.SetOneValue(ICAP_UNITS, TWTY_UINT16, c.unit), TWRC_SUCCESS);
  for (TW_UINT16 cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION}) ASSERT_EQ(SetFix32(app, cap, c.resolution), TWRC_SUCCESS);
  for (TW_UINT16 cap : {ICAP_XSCALING, ICAP_YSCALING}) ASSERT_EQ(SetFix32(app, cap, c.scaling), TWRC_SUCCESS);
  TW_IMAGELAYOUT layout = Layout(c.frame[0], c.frame[1], c.frame[2], c.frame[3]);
  ASSERT_EQ(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);

  EnableAndWait(app);
  TW_IMAGEINFO info{};
  ASSERT_EQ(app.ImageInfo(info), TWRC_SUCCESS);
  EXPECT_EQ(+info.ImageWidth, c.width);
  EXPECT_EQ(+info.ImageLength, c.height);
  EXPECT_EQ(+info.BitsPerPixel, c.bits);
  EXPECT_EQ(+info.PixelType, c.pixelType);
  EXPECT_EQ(+info.SamplesPerPixel, c.pixelType == TWPT_RGB ? 3 : 1);
  EXPECT_EQ(Fix32Value(info.XResolution), c.resolution);
  TW_HANDLE h = 0;
  ASSERT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
  Dib dib(h);
  ASSERT_TRUE(dib.Valid());
  EXPECT_EQ(dib.headerSize, 40u);
  EXPECT_EQ(dib.width, c.width);
  EXPECT_EQ(dib.height, c.height);
  EXPECT_EQ(dib.bitCount, c.bits);
  EXPECT_EQ(dib.clrUsed, c.tableEntries);
  EXPECT_EQ(dib.sizeImage, dib.stride * dib.height);
  EXPECT_EQ(dib.size, 40 + c.tableEntries * 4 + dib.stride * dib.height);  // exactly the block it needs
  EXPECT_EQ(dib.xPelsPerMeter, std::lround(c.resolution / 0.0254));
  EXPECT_EQ(dib.stride % 4, 0u);
  if (c.pixelType == TWPT_BW) {
    EXPECT_EQ(dib.Entry(0), 0x000000u);
    EXPECT_EQ(dib.Entry(1), 0xFFFFFFu);
  }
  if (c.pixelType == TWPT_GRAY) {
    for (uint32_t i = 0; i < 256; i += 51) EXPECT_EQ(dib.Entry(i), i * 0x010101u);
  }
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(
    Virtual, Geometry,
    ::testing::Values(
        GeometryCase{"A4Rgb300Cm", TWPT_RGB, TWUN_CENTIMETERS, {0, 0, 21, 29.7}, 300, 1, 2480, 3508, 24, 0},
        GeometryCase{"A4Rgb300Twips", TWPT_RGB, TWUN_TWIPS, {0, 0, 11907, 16839.9}, 300, 1, 2480, 3508, 24, 0},
        GeometryCase{"A4Rgb300Inch", TWPT_RGB, TWUN_INCHES, {0, 0, 8.26875, 11.694375}, 300, 1, 2480, 3508, 24, 0},
        GeometryCase{"A4Gray150Inch", TWPT_GRAY, TWUN_INCHES, {0, 0, 8.26875, 11.6944}, 150, 1, 1240, 1754, 8, 256},
        GeometryCase{"LetterBw200", TWPT_BW, TWUN_INCHES, {0, 0, 8.5, 11}, 200, 1, 1700, 2200, 1, 2},
        GeometryCase{"PalettePixels", TWPT_PALETTE, TWUN_PIXELS, {10, 20, 111, 70}, 100, 1, 101, 50, 8, 256},
        GeometryCase{"ScaledTwice", TWPT_GRAY, TWUN_INCHES, {1, 1, 3, 2}, 75, 2, 300, 150, 8, 256},
        GeometryCase{"OddBwWidth", TWPT_BW, TWUN_PIXELS, {0, 0, 13, 3}, 300, 1, 13, 3, 1, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// Captures a grey image of the chart's top part at 50 dpi with the given settings applied.
class ToneTest : public VirtualTest {
 protected:
  Dib Scan(TwainApp& app, TW_UINT16 pixelType, std::vector<std::pair<TW_UINT16, double>> settings) {
    EXPECT_EQ(app.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, pixelType), TWRC_SUCCESS);
    for (TW_UINT16 cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION}) EXPECT_EQ(SetFix32(app, cap, 50), TWRC_SUCCESS);
    for (TW_UINT16 cap : {ICAP_BRIGHTNESS, ICAP_CONTRAST, ICAP_GAMMA, ICAP_HIGHLIGHT, ICAP_SHADOW, ICAP_THRESHOLD,
                          ICAP_AUTOBRIGHT})
      EXPECT_EQ(ReadCap(app, MSG_RESET, cap).rc, TWRC_SUCCESS);
    for (auto [cap, v] : settings)
      EXPECT_EQ(cap == ICAP_AUTOBRIGHT ? app.SetOneValue(cap, TWTY_BOOL, v != 0) : SetFix32(app, cap, v), TWRC_SUCCESS);
    return Dib(ScanOne(app));
  }
  // The grey of the wedge's steps, left to right, on a row through the wedge (2.1 in down).
  static std::vector<int> Wedge(const Dib& dib) {
    std::vector<int> steps;
    for (int i = 0; i < 16; ++i) {
      int x = static_cast<int>((0.6 + 7.07 * (i + 0.5) / 16) * 50);
      steps.push_back(Dib::Grey(dib.Pixel(x, 105)));
    }
    return steps;
  }
};

TEST_F(ToneTest, TheChartIsThere) {
  TwainApp& app = Open();
  Dib rgb = Scan(app, TWPT_RGB, {});
  // Colour bars at 1.1 in: yellow, cyan, green, magenta, red, blue.
  auto bar = [&](int i) { return rgb.Pixel(static_cast<int>((0.6 + 7.07 * (i + 0.5) / 8) * 50), 55); };
  EXPECT_EQ(bar(0), 0xF0F0F0u);  // paper white
  EXPECT_EQ(bar(5), 0xD22328u);  // red
  EXPECT_EQ(bar(6), 0x1E32AAu);  // blue
  EXPECT_EQ(bar(7), 0x101010u);  // ink
  std::vector<int> wedge = Wedge(rgb);
  EXPECT_EQ(wedge.front(), 16);
  EXPECT_EQ(wedge.back(), 240);
  EXPECT_TRUE(std::is_sorted(wedge.begin(), wedge.end()));
  EXPECT_EQ(std::set<int>(wedge.begin(), wedge.end()).size(), 16u);
}

TEST_F(ToneTest, EachSettingChangesThePixels) {
  TwainApp& app = Open();
  const std::vector<int> plain = Wedge(Scan(app, TWPT_GRAY, {}));
  const double plainMean = Scan(app, TWPT_GRAY, {}).MeanGrey();

  EXPECT_GT(Scan(app, TWPT_GRAY, {{ICAP_BRIGHTNESS, 300}}).MeanGrey(), plainMean + 20);
  EXPECT_LT(Scan(app, TWPT_GRAY, {{ICAP_BRIGHTNESS, -300}}).MeanGrey(), plainMean - 40);

  std::vector<int> contrast = Wedge(Scan(app, TWPT_GRAY, {{ICAP_CONTRAST, 500}}));
  EXPECT_LT(contrast[3], plain[3]);    // darks darker
  EXPECT_GT(contrast[12], plain[12]);  // lights lighter
  std::vector<int> flat = Wedge(Scan(app, TWPT_GRAY, {{ICAP_CONTRAST, -1000}}));
  EXPECT_LT(flat.back() - flat.front(), 20);

  std::vector<int> gamma = Wedge(Scan(app, TWPT_GRAY, {{ICAP_GAMMA, 4.4}}));
  EXPECT_GT(gamma[7], plain[7] + 30);  // mid-tones lighter
  EXPECT_EQ(gamma.front(), 64);        // 255 * (16 / 255)^0.5

  std::vector<int> levels = Wedge(Scan(app, TWPT_GRAY, {{ICAP_SHADOW, 60}, {ICAP_HIGHLIGHT, 180}}));
  EXPECT_EQ(levels.front(), 0);
  EXPECT_EQ(levels.back(), 255);
  EXPECT_EQ(levels[7], std::lround((plain[7] - 60) * 255.0 / 120));

  std::vector<int> autoBright = Wedge(Scan(app, TWPT_GRAY, {{ICAP_AUTOBRIGHT, 1}}));
  EXPECT_EQ(autoBright.front(), 0);
  EXPECT_EQ(autoBright.back(), 255);
}

TEST_F(ToneTest, ThresholdMakesTwoColoursAndMovesTheEdge) {
  TwainApp& app = Open();
  std::vector<double> whiteShares;
  for (double threshold : {40.0, 128.0, 220.0}) {
    Dib bw = Scan(app, TWPT_BW, {{ICAP_THRESHOLD, threshold}});
    ASSERT_EQ(bw.tableEntries, 2u);
    std::vector<int> wedge = Wedge(bw);
    for (int g : wedge) EXPECT_TRUE(g == 0 || g == 255);
    whiteShares.push_back(std::count(wedge.begin(), wedge.end(), 255) / 16.0);
  }
  EXPECT_GT(whiteShares[0], whiteShares[1]);
  EXPECT_GT(whiteShares[1], whiteShares[2]);
}

// Bit packing: a 1-bit image is the 8-bit grey image cut at the threshold, pixel for pixel, also in
// the last partial byte of a row.
TEST_F(ToneTest, BlackAndWhiteIsTheThresholdedGrey) {
  TwainApp& app = Open("Resolutions = 10..100\n");
  auto scan = [&](TW_UINT16 type) {
    EXPECT_EQ(app.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, type), TWRC_SUCCESS);
    for (TW_UINT16 cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION}) EXPECT_EQ(SetFix32(app, cap, 37), TWRC_SUCCESS);
    EXPECT_EQ(SetFix32(app, ICAP_THRESHOLD, 128), TWRC_SUCCESS);
    return ScanOne(app);
  };
  Dib grey(scan(TWPT_GRAY)), bw(scan(TWPT_BW));
  ASSERT_EQ(grey.width, bw.width);
  ASSERT_EQ(grey.width % 8, 5);  // 325 pixels: a partial last byte
  // Pages 1 and 2: the same chart down to where the page number starts (5.6 in).
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < grey.width; ++x)
      ASSERT_EQ(bw.Pixel(x, y), Dib::Grey(grey.Pixel(x, y)) >= 128 ? 0xFFFFFFu : 0u) << x << "," << y;
  }
  for (int y = 0; y < bw.height; ++y) {
    const uint8_t* row = bw.Row(y);
    ASSERT_EQ(row[grey.width / 8] & 0x07, 0) << "unused bits of row " << y;
    for (uint64_t b = (grey.width + 7) / 8; b < bw.stride; ++b) ASSERT_EQ(row[b], 0) << "padding of row " << y;
  }
}

TEST_F(VirtualTest, AnImageTooLargeFailsTheTransferOnly) {
  TwainApp& app = Open("MaxImageMB = 1\n");
  EnableAndWait(app);
  TW_HANDLE h = 0;
  EXPECT_EQ(app.NativeXfer(h), TWRC_FAILURE);
  EXPECT_EQ(app.SourceCondition(), TWCC_LOWMEMORY);
  EXPECT_EQ(h, 0u);
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(app.ResetXfers(pending), TWRC_SUCCESS);
  EXPECT_EQ(app.Disable(), TWRC_SUCCESS);
}

TEST_F(ToneTest, PaletteImagesUseTheirTable) {
  TwainApp& app = Open();
  Dib pal = Scan(app, TWPT_PALETTE, {});
  ASSERT_EQ(pal.tableEntries, 256u);
  EXPECT_EQ(pal.Entry(36 * 5), 0xFF0000u);  // the cube's pure red
  // The red bar maps to a reddish entry.
  uint32_t red = pal.Pixel(static_cast<int>((0.6 + 7.07 * 5.5 / 8) * 50), 55);
  EXPECT_GT(int(red >> 16), int(red >> 8 & 255) + 100);
}

// The page number changes the image from one page to the next.
TEST_F(VirtualTest, PagesCarryTheirNumber) {
  TwainApp& app = Open();
  ASSERT_EQ(app.SetOneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_GRAY), TWRC_SUCCESS);
  for (TW_UINT16 cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION}) ASSERT_EQ(SetFix32(app, cap, 50), TWRC_SUCCESS);
  Dib first(ScanOne(app)), second(ScanOne(app));
  ASSERT_EQ(first.size, second.size);
  // The same chart above the number, a different number below.
  for (int y = 0; y < 250; ++y)
    if (std::memcmp(first.Row(y), second.Row(y), first.stride) != 0) {
      ADD_FAILURE() << "row " << y << " differs";
      break;
    }
  bool differs = false;
  for (int y = 280; y < 500 && !differs; ++y) differs = std::memcmp(first.Row(y), second.Row(y), first.stride) != 0;
  EXPECT_TRUE(differs);
}

TEST_F(VirtualTest, FeederDeliversEveryLoadedPage) {
  TwainApp& app = Open("PagesLoaded = 3\n");
  ASSERT_EQ(app.SetOneValue(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
  for (TW_UINT16 cap : {ICAP_XRESOLUTION, ICAP_YRESOLUTION}) ASSERT_EQ(SetFix32(app, cap, 50), TWRC_SUCCESS);
  EnableAndWait(app);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(app.ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
  EXPECT_EQ(+pending.Count, 3);
  for (int expect : {2, 1, 0}) {
    TW_HANDLE h = 0;
    ASSERT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
    GlobalBlock dib(h);
    EXPECT_EQ(ReadCap(app, MSG_GETCURRENT, CAP_FEEDERLOADED).current, 1);
    ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
    EXPECT_EQ(+pending.Count, expect);
  }
  EXPECT_EQ(ReadCap(app, MSG_GETCURRENT, CAP_FEEDERLOADED).current, 0);
  EXPECT_EQ(app.Disable(), TWRC_SUCCESS);
}

TEST_F(VirtualTest, ResetDiscardsThePendingPages) {
  TwainApp& app = Open("PagesLoaded = 5\n");
  ASSERT_EQ(app.SetOneValue(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
  EnableAndWait(app);
  TW_PENDINGXFERS pending{};
  // Skipping the page on offer without transferring it counts it as well.
  ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
  EXPECT_EQ(+pending.Count, 4);
  EXPECT_EQ(app.ResetXfers(pending), TWRC_SUCCESS);
  EXPECT_EQ(+pending.Count, 0);
  TW_HANDLE h = 0;
  EXPECT_EQ(app.NativeXfer(h), TWRC_FAILURE);
  EXPECT_EQ(app.SourceCondition(), TWCC_SEQERROR);
  EXPECT_EQ(app.Disable(), TWRC_SUCCESS);
}

TEST_F(VirtualTest, XferCountLimitsTheImages) {
  TwainApp& app = Open("PagesLoaded = 5\n");
  ASSERT_EQ(app.SetOneValue(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
  ASSERT_EQ(app.SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 2), TWRC_SUCCESS);
  EnableAndWait(app);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(app.ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
  EXPECT_EQ(+pending.Count, 2);
  ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
  ASSERT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
  EXPECT_EQ(+pending.Count, 0);
  EXPECT_EQ(app.Disable(), TWRC_SUCCESS);
}

TEST_F(VirtualTest, OutOfSequenceRequestsAreRefused) {
  TwainApp& app = Open();
  TW_HANDLE h = 0;
  TW_IMAGEINFO info{};
  TW_PENDINGXFERS pending{};
  TW_USERINTERFACE ui{0, 0, app.Parent()};
  auto refused = [&](TW_UINT16 rc) {
    EXPECT_EQ(rc, TWRC_FAILURE);
    EXPECT_EQ(app.SourceCondition(), TWCC_SEQERROR);
  };
  // State 4.
  refused(app.ToSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &h));
  refused(app.ToSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info));
  refused(app.ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending));
  refused(app.ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending));
  refused(app.ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui));
  // State 5.
  ASSERT_EQ(app.Enable(false), TWRC_SUCCESS);
  refused(app.ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui));
  refused(app.ToSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &h));
  refused(app.ToSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info));
  TW_IMAGELAYOUT layout = Layout(0, 0, 1, 1);
  refused(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout));
  // State 6.
  ASSERT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);
  refused(app.ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui));
  // State 7.
  ASSERT_EQ(app.NativeXfer(h), TWRC_XFERDONE);
  GlobalBlock dib(h);
  refused(app.ToSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &h));
  refused(app.ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending));
  refused(app.ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout));
  EXPECT_EQ(app.ImageInfo(info), TWRC_SUCCESS);  // still describes the image just transferred
  EXPECT_EQ(app.EndXfer(pending), TWRC_SUCCESS);
  // Unknown triplets.
  TW_SETUPMEMXFER setup{};
  EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_FAILURE);
  EXPECT_EQ(app.SourceCondition(), TWCC_BADPROTOCOL);
}

TEST_F(VirtualTest, ProcessEventLeavesOtherMessagesAlone) {
  TwainApp& app = Open();
  MSG other{app.Parent(), WM_USER + 5, 1, 2, 0, {0, 0}};
  TW_EVENT event{&other, 0xBEEF};
  EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
  EXPECT_EQ(+event.TWMessage, MSG_NULL);
  ASSERT_EQ(app.Enable(false), TWRC_SUCCESS);
  event = TW_EVENT{&other, 0xBEEF};
  EXPECT_EQ(app.ToSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
  EXPECT_EQ(+event.TWMessage, MSG_NULL);
  // Its own message, once, moves it to state 6.
  ASSERT_EQ(app.WaitForSourceEvent(), MSG_XFERREADY);
  // Disabled, the source takes back its messages.
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(app.ResetXfers(pending), TWRC_SUCCESS);
  ASSERT_EQ(app.Disable(), TWRC_SUCCESS);
  MSG left{};
  EXPECT_FALSE(PeekMessageA(&left, 0, 0, 0, PM_NOREMOVE));
}

}  // namespace
}  // namespace korven::test
