// sane.ds through DSM_Entry, as a plain TWAIN application drives it, against SANE's test backend:
// one source per device, the capabilities mapped from the device's options, pages of every kind SANE
// delivers (pixel for pixel what scanimage reads from the same device), feeder batches, errors,
// cancelling, the timeout and the dialog.
#include "sane_support.h"
#include "virtual_fixture.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace korven::test {
namespace {

namespace fs = std::filesystem;
using korven::tools_test::RunProgram;
using korven::tools_test::ScratchDir;

TW_FIX32 ToFix32(double v) {
  TW_FIX32 f;
  const TW_UINT32 item = Fix32Item(v);
  std::memcpy(&f, &item, 4);
  return f;
}
double FromFix32(TW_FIX32 f) { return Fix32Value(f); }

// A DIB as 8-bit samples (grey through its colour table, or RGB), rows top-down.
Pixels PixelsOf(const Dib& dib) {
  Pixels p;
  p.width = dib.width, p.height = dib.height, p.channels = dib.bitCount == 24 ? 3 : 1;
  for (int y = 0; y < dib.height; ++y)
    for (int x = 0; x < dib.width; ++x) {
      uint32_t rgb = dib.Pixel(x, y);
      if (p.channels == 1) {
        p.data.push_back(static_cast<unsigned char>(rgb & 255));
      } else {
        p.data.push_back(static_cast<unsigned char>(rgb >> 16 & 255));
        p.data.push_back(static_cast<unsigned char>(rgb >> 8 & 255));
        p.data.push_back(static_cast<unsigned char>(rgb & 255));
      }
    }
  return p;
}

class SaneProtocolTest : public SaneTest {
 protected:
  // Opens `device` of the test backend as a TWAIN source.
  std::unique_ptr<TwainApp> Open(int device = 0) {
    auto app = std::make_unique<TwainApp>();
    EXPECT_EQ(app->OpenDSM(), TWRC_SUCCESS);
    EXPECT_EQ(app->OpenDS(TestSourceName(device)), TWRC_SUCCESS);
    return app;
  }
  // What scanimage reads from test:0 with the configuration as it stands.
  Pixels Scanimage() {
    ScratchDir dir;
    auto r = RunProgram(ScanimagePath(), {"-d", TestDeviceName(0), "--format=pnm", "-o", dir.File("page.pnm")}, Sane().Environment());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return ReadPnm(dir.File("page.pnm"));
  }
  DebugCapture debug_;
};

TEST_F(SaneProtocolTest, EachDeviceIsASourceOfItsOwnAndOpensByName) {
  InstallSane();
  Windows().AddSource("virtual", "virtual");
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  std::vector<std::string> names = app.SourceNames();
  EXPECT_EQ(names, (std::vector<std::string>{TestSourceName(0), TestSourceName(1), "Virtual Scanner"}));
  for (int device : {1, 0}) {
    ASSERT_EQ(app.OpenDS(TestSourceName(device)), TWRC_SUCCESS);
    EXPECT_EQ(LastOpenedDevice(), TestDeviceName(device));
    EXPECT_EQ(TwainApp::Name(app.Source()), TestSourceName(device));
    EXPECT_STREQ(app.Source().Manufacturer, "Noname");
    EXPECT_STREQ(app.Source().ProductFamily, "frontend-tester");
    EXPECT_STREQ(app.Source().Version.Info, "SANE virtual device");
    ASSERT_EQ(app.CloseDS(), TWRC_SUCCESS);
  }
}

TEST_F(SaneProtocolTest, ADeviceGoneSinceTheListingIsAClearFailure) {
  InstallSane();
  TwainApp app;
  ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
  ASSERT_EQ(app.SourceNames().size(), 2u) << debug_.All();
  Sane().Write({{"number_of_devices", "1"}});  // test:1 is unplugged
  TW_IDENTITY id = TwainApp::NamedIdentity(TestSourceName(1));
  EXPECT_EQ(app.ToManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &id), TWRC_FAILURE);
  EXPECT_EQ(app.ManagerCondition(), TWCC_NODS);
  EXPECT_TRUE(debug_.Contains("cannot open test:1")) << debug_.All();
  EXPECT_TRUE(debug_.Contains("unplugged")) << debug_.All();
  EXPECT_EQ(app.OpenDS(TestSourceName(0)), TWRC_SUCCESS);
}

// A process discovers SANE's devices once: later listings (new manager sessions, the manager loaded
// anew) use that list while SANE's configuration is as it was; a changed configuration (the same
// size, rewritten at once) shows at the next listing.
TEST_F(SaneProtocolTest, DevicesAreDiscoveredOnceUntilTheConfigurationChanges) {
  InstallSane();
  auto list = [] {
    TwainApp app;
    EXPECT_EQ(app.OpenDSM(), TWRC_SUCCESS);
    std::vector<std::string> names = app.SourceNames();
    EXPECT_EQ(app.CloseDSM(), TWRC_SUCCESS);
    return names;
  };
  const std::vector<std::string> two{TestSourceName(0), TestSourceName(1)};
  const int before = SaneCallCounts().init;
  EXPECT_EQ(list(), two);
  EXPECT_EQ(list(), two);
  {
    auto app = Open(1);  // opens by name with the list it has
    EXPECT_EQ(LastOpenedDevice(), TestDeviceName(1));
    EXPECT_EQ(app->CloseDS(), TWRC_SUCCESS);
  }
  EXPECT_EQ(SaneCallCounts().init - before, 2) << "one discovery and one open";
  Sane().Write({{"number_of_devices", "1"}});
  EXPECT_EQ(list(), std::vector<std::string>{TestSourceName(0)});
  EXPECT_EQ(SaneCallCounts().init - before, 3);
}

TEST_F(SaneProtocolTest, AListingLifetimeOfNoneDiscoversAtEveryListing) {
  InstallSane("ListingLifetime = 0\n");
  for (int i = 0; i < 2; ++i) {
    const int before = SaneCallCounts().init;
    TwainApp app;
    ASSERT_EQ(app.OpenDSM(), TWRC_SUCCESS);
    EXPECT_EQ(app.SourceNames().size(), 2u);
    EXPECT_EQ(SaneCallCounts().init - before, 1);
  }
}

// ---- Capabilities -------------------------------------------------------------------------------

struct CapCase {
  const char* name;
  TW_UINT16 cap, itemType;
  double other;       // a value the device takes that differs from its default
  double deflt;       // what the test configuration makes the default
};

class CapabilityConformance : public SaneProtocolTest, public ::testing::WithParamInterface<CapCase> {};

TEST_P(CapabilityConformance, GetCurrentDefaultSetAndResetAgree) {
  const CapCase& c = GetParam();
  InstallSane();
  auto app = Open();
  CapReading all = ReadCap(*app, MSG_GET, c.cap);
  ASSERT_EQ(all.rc, TWRC_SUCCESS);
  CapReading current = ReadCap(*app, MSG_GETCURRENT, c.cap), deflt = ReadCap(*app, MSG_GETDEFAULT, c.cap);
  ASSERT_EQ(current.rc, TWRC_SUCCESS);
  ASSERT_EQ(deflt.rc, TWRC_SUCCESS);
  EXPECT_EQ(current.conType, TWON_ONEVALUE);
  EXPECT_EQ(all.current, current.current);
  if (all.conType != TWON_ONEVALUE) {
    EXPECT_EQ(all.deflt, deflt.current);
  }
  EXPECT_NEAR(deflt.current, c.deflt, 1e-4);
  if (all.conType == TWON_ENUMERATION) {
    EXPECT_NE(std::find(all.items.begin(), all.items.end(), c.other), all.items.end()) << "not offered: " << c.other;
  }
  if (all.conType == TWON_RANGE) {
    EXPECT_LE(all.min, c.other);
    EXPECT_GE(all.max, c.other);
  }
  const TW_UINT32 item = c.itemType == TWTY_FIX32 ? Fix32Item(c.other) : TW_UINT32(int32_t(c.other));
  ASSERT_EQ(app->SetOneValue(c.cap, c.itemType, item), TWRC_SUCCESS);
  EXPECT_NEAR(ReadCap(*app, MSG_GETCURRENT, c.cap).current, c.other, 1e-4);
  EXPECT_NEAR(ReadCap(*app, MSG_GET, c.cap).current, c.other, 1e-4);
  EXPECT_NEAR(ReadCap(*app, MSG_GETDEFAULT, c.cap).current, c.deflt, 1e-4) << "the default stays";
  CapReading reset = ReadCap(*app, MSG_RESET, c.cap);
  ASSERT_EQ(reset.rc, TWRC_SUCCESS);
  EXPECT_NEAR(reset.current, c.deflt, 1e-4);
  EXPECT_NEAR(ReadCap(*app, MSG_GETCURRENT, c.cap).current, c.deflt, 1e-4);
}

const CapCase kCaps[] = {
    {"XResolution", ICAP_XRESOLUTION, TWTY_FIX32, 300, 75},
    {"YResolution", ICAP_YRESOLUTION, TWTY_FIX32, 150, 75},
    {"PixelType", ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB, TWPT_GRAY},
    {"PixelTypeBlackAndWhite", ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW, TWPT_GRAY},
    {"BitDepth", ICAP_BITDEPTH, TWTY_UINT16, 16, 8},
    {"Units", ICAP_UNITS, TWTY_UINT16, TWUN_CENTIMETERS, TWUN_INCHES},
    {"FeederEnabled", CAP_FEEDERENABLED, TWTY_BOOL, 1, 0},
    {"XferCount", CAP_XFERCOUNT, TWTY_INT16, 3, -1},
    {"Indicators", CAP_INDICATORS, TWTY_BOOL, 0, 1},
    {"AutoFeed", CAP_AUTOFEED, TWTY_BOOL, 1, 0},
    {"SupportedSizes", ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWSS_A6, TWSS_NONE},
};
INSTANTIATE_TEST_SUITE_P(Sane, CapabilityConformance, ::testing::ValuesIn(kCaps),
                         [](const ::testing::TestParamInfo<CapCase>& i) { return std::string(i.param.name); });

TEST_F(SaneProtocolTest, ValuesOutsideTheDevicesRangeAreClampedWithCheckStatus) {
  InstallSane();
  auto app = Open();
  EXPECT_EQ(SetFix32(*app, ICAP_XRESOLUTION, 5000), TWRC_CHECKSTATUS);
  EXPECT_EQ(ReadCap(*app, MSG_GETCURRENT, ICAP_XRESOLUTION).current, 1200);
  EXPECT_EQ(SetFix32(*app, ICAP_XRESOLUTION, 0.25), TWRC_CHECKSTATUS);
  EXPECT_EQ(ReadCap(*app, MSG_GETCURRENT, ICAP_XRESOLUTION).current, 1);
  // Off the device's grid of one dot per inch: put on it.
  EXPECT_EQ(SetFix32(*app, ICAP_XRESOLUTION, 150.5), TWRC_CHECKSTATUS);
  EXPECT_NE(ReadCap(*app, MSG_GETCURRENT, ICAP_XRESOLUTION).current, 150.5);
  // A frame beyond the 200 mm platen ends at its edge, and the layout tells what the device holds.
  ASSERT_EQ(app->SetOneValue(ICAP_UNITS, TWTY_UINT16, TWUN_CENTIMETERS), TWRC_SUCCESS);
  TW_IMAGELAYOUT layout{};
  layout.Frame = {ToFix32(1), ToFix32(2), ToFix32(30), ToFix32(10)};
  EXPECT_EQ(app->ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_CHECKSTATUS);
  EXPECT_NEAR(FromFix32(layout.Frame.Right), 20, 1e-3);
  TW_IMAGELAYOUT now{};
  ASSERT_EQ(app->ToSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &now), TWRC_SUCCESS);
  EXPECT_NEAR(FromFix32(now.Frame.Left), 1, 1e-3);
  EXPECT_NEAR(FromFix32(now.Frame.Top), 2, 1e-3);
  EXPECT_NEAR(FromFix32(now.Frame.Right), 20, 1e-3);
  EXPECT_NEAR(FromFix32(now.Frame.Bottom), 10, 1e-3);
  // The platen in the current unit.
  EXPECT_NEAR(ReadCap(*app, MSG_GETCURRENT, ICAP_PHYSICALWIDTH).current, 20, 1e-3);
}

TEST_F(SaneProtocolTest, WhatTheDeviceLacksIsUnsupportedAndInactiveOptionsAreLeftAlone) {
  InstallSane();
  {
    auto app = Open();
    CapReading caps = ReadCap(*app, MSG_GET, CAP_SUPPORTEDCAPS);
    for (TW_UINT16 missing : {ICAP_BRIGHTNESS, ICAP_CONTRAST, ICAP_GAMMA, ICAP_THRESHOLD, ICAP_HIGHLIGHT, ICAP_SHADOW, ICAP_XSCALING}) {
      EXPECT_EQ(ReadCap(*app, MSG_GET, missing).rc, TWRC_FAILURE);
      EXPECT_EQ(app->SourceCondition(), TWCC_CAPUNSUPPORTED);
      EXPECT_EQ(std::count(caps.items.begin(), caps.items.end(), double(missing)), 0);
    }
    for (TW_UINT16 present : {ICAP_XRESOLUTION, ICAP_PIXELTYPE, ICAP_BITDEPTH, ICAP_FRAMES, CAP_FEEDERENABLED})
      EXPECT_EQ(std::count(caps.items.begin(), caps.items.end(), double(present)), 1);
  }
}

// ---- Pages --------------------------------------------------------------------------------------

struct PageCase {
  const char* name;
  std::map<std::string, std::string> config;
  int bitCount;
};

class PageIdentity : public SaneProtocolTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(PageIdentity, TheDibHoldsWhatScanimageReads) {
  if (std::string why = ScanimageMissing(); !why.empty()) GTEST_SKIP() << why;
  InstallSane();
  Sane().Write(GetParam().config);
  Pixels expected = Scanimage();
  ASSERT_GT(expected.width, 0);
  auto app = Open();
  EnableAndWait(*app);
  TW_IMAGEINFO info{};
  ASSERT_EQ(app->ImageInfo(info), TWRC_SUCCESS);
  TW_HANDLE h = 0;
  ASSERT_EQ(app->NativeXfer(h), TWRC_XFERDONE);
  Dib dib(h);
  ASSERT_TRUE(dib.Valid());
  EXPECT_EQ(dib.bitCount, GetParam().bitCount);
  EXPECT_EQ(info.ImageWidth, dib.width);
  EXPECT_EQ(info.BitsPerPixel, GetParam().bitCount);
  Pixels got = PixelsOf(dib);
  EXPECT_EQ(FirstDifference(got, expected), "");
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(app->EndXfer(pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 0);
  EXPECT_EQ(app->Disable(), TWRC_SUCCESS);
}

const PageCase kPages[] = {
    {"Grey8", {}, 8},
    {"Grey1", {{"depth", "1"}}, 1},
    {"Grey16", {{"depth", "16"}}, 8},
    {"Grey16OtherByteOrder", {{"depth", "16"}, {"invert-endianess", "true"}}, 8},
    {"Colour", {{"mode", "Color"}}, 24},
    {"Colour16", {{"mode", "Color"}, {"depth", "16"}}, 24},
    {"ThreePassColour", {{"mode", "Color"}, {"three-pass", "true"}}, 24},
    {"ThreePassOtherOrder", {{"mode", "Color"}, {"three-pass", "true"}, {"three-pass-order", "GBR"}}, 24},
    {"Frame", {{"tl_x", "12.0"}, {"tl_y", "7.0"}, {"br_x", "61.0"}, {"br_y", "40.0"}}, 8},
    {"Resolution150", {{"resolution", "150.0"}, {"mode", "Color"}}, 24},
    {"Resolution33", {{"resolution", "33.0"}}, 8},
    {"Grid", {{"test-picture", "Grid"}, {"depth", "1"}}, 1},
    {"SolidBlack", {{"test-picture", "\"Solid black\""}}, 8},
    {"SolidWhite", {{"test-picture", "\"Solid white\""}, {"mode", "Color"}}, 24},
    {"SmallReads", {{"read-limit", "true"}, {"read-limit-size", "777"}, {"mode", "Color"}}, 24},
};
INSTANTIATE_TEST_SUITE_P(Sane, PageIdentity, ::testing::ValuesIn(kPages),
                         [](const ::testing::TestParamInfo<PageCase>& i) { return std::string(i.param.name); });

TEST_F(SaneProtocolTest, APageOfUnknownLengthGrowsToItsRealHeight) {
  InstallSane();
  Sane().Write({{"hand-scanner", "true"}});
  auto app = Open();
  EnableAndWait(*app);
  TW_IMAGEINFO info{};
  ASSERT_EQ(app->ImageInfo(info), TWRC_SUCCESS);
  EXPECT_EQ(info.ImageLength, -1) << "not known before the scan";
  TW_HANDLE h = 0;
  ASSERT_EQ(app->NativeXfer(h), TWRC_XFERDONE);
  Dib dib(h);
  ASSERT_TRUE(dib.Valid());
  // The hand-scanner is 110 x 170 mm.
  EXPECT_EQ(dib.width, int(75 * 110 / 25.4));
  EXPECT_EQ(dib.height, int(75 * 170 / 25.4));
  ASSERT_EQ(app->ImageInfo(info), TWRC_SUCCESS);
  EXPECT_EQ(info.ImageLength, dib.height) << "known once transferred";
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(app->EndXfer(pending), TWRC_SUCCESS);
}

TEST_F(SaneProtocolTest, PixelsLostAtTheEndOfEachLineAreSkipped) {
  InstallSane();
  Sane().Write({{"test-picture", "Grid"}});
  Pixels whole;
  {
    auto app = Open();
    Dib dib(ScanOne(*app));
    whole = PixelsOf(dib);
  }
  Sane().Write({{"test-picture", "Grid"}, {"ppl-loss", "7"}});
  auto app = Open();
  Dib dib(ScanOne(*app));
  Pixels short_ = PixelsOf(dib);
  ASSERT_EQ(short_.width, whole.width - 7);
  ASSERT_EQ(short_.height, whole.height);
  for (int y = 0; y < whole.height; ++y)
    ASSERT_TRUE(std::equal(short_.data.begin() + y * short_.width, short_.data.begin() + (y + 1) * short_.width,
                           whole.data.begin() + y * whole.width))
        << "row " << y;
}

// ---- The feeder ---------------------------------------------------------------------------------

TEST_F(SaneProtocolTest, AFeederBatchRunsUntilSaneHasNoMoreDocuments) {
  InstallSane();
  auto app = Open();
  ASSERT_EQ(app->SetOneValue(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
  EnableAndWait(*app);
  int pages = 0;
  for (;;) {
    TW_HANDLE h = 0;
    ASSERT_EQ(app->NativeXfer(h), TWRC_XFERDONE) << "page " << pages + 1;
    GlobalBlock block(h);
    ++pages;
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(app->EndXfer(pending), TWRC_SUCCESS);
    if (pending.Count == 0) break;
    EXPECT_EQ(pending.Count, 0xFFFF) << "a feeder's stack is not counted";
    ASSERT_LE(pages, 10);
  }
  EXPECT_EQ(pages, 10);  // the test backend's feeder holds ten pages
  EXPECT_TRUE(debug_.Contains("no more documents in the feeder after 10 pages")) << debug_.All();
  ASSERT_EQ(app->Disable(), TWRC_SUCCESS);
}

TEST_F(SaneProtocolTest, AnEmptyFeederGivesNoPageAndAsksToBeClosed) {
  InstallSane();
  auto app = Open();
  ASSERT_EQ(app->SetOneValue(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
  // Ten pages, counted so that nothing asks for an eleventh; the feeder is empty after them.
  ASSERT_EQ(app->SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 10), TWRC_SUCCESS);
  EnableAndWait(*app);
  for (int page = 1; page <= 10; ++page) {
    TW_HANDLE h = 0;
    ASSERT_EQ(app->NativeXfer(h), TWRC_XFERDONE);
    GlobalBlock block(h);
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(app->EndXfer(pending), TWRC_SUCCESS);
  }
  ASSERT_EQ(app->Disable(), TWRC_SUCCESS);
  // Enabled without its dialog, the source has nothing to give and nobody could scan again.
  ASSERT_EQ(app->Enable(false), TWRC_SUCCESS);
  EXPECT_EQ(app->WaitForSourceEvent(), MSG_CLOSEDSREQ);
  EXPECT_TRUE(debug_.Contains("no document to scan: Document feeder out of documents")) << debug_.All();
  EXPECT_EQ(app->Disable(), TWRC_SUCCESS);
}

TEST_F(SaneProtocolTest, XferCountEndsAFeederBatchEarly) {
  InstallSane();
  auto app = Open();
  ASSERT_EQ(app->SetOneValue(CAP_FEEDERENABLED, TWTY_BOOL, 1), TWRC_SUCCESS);
  ASSERT_EQ(app->SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 3), TWRC_SUCCESS);
  EnableAndWait(*app);
  for (int page = 1; page <= 3; ++page) {
    TW_HANDLE h = 0;
    ASSERT_EQ(app->NativeXfer(h), TWRC_XFERDONE);
    GlobalBlock block(h);
    TW_PENDINGXFERS pending{};
    ASSERT_EQ(app->EndXfer(pending), TWRC_SUCCESS);
    EXPECT_EQ(pending.Count, page < 3 ? 0xFFFF : 0);
  }
}

// ---- Errors, cancelling, the timeout -------------------------------------------------------------

struct ErrorCase {
  const char* name;
  const char* status;  // read-return-value
  TW_UINT16 rc, cc;
  const char* text;    // what the debug output says
};

class ReadErrors : public SaneProtocolTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ReadErrors, EachSaneStatusBecomesItsTwainCodeWithTheStatusText) {
  const ErrorCase& e = GetParam();
  InstallSane();
  Sane().Write({{"read-status-code", std::string("\"") + e.status + "\""}});
  auto app = Open();
  EnableAndWait(*app);
  TW_IMAGEINFO info{};
  EXPECT_EQ(app->ImageInfo(info), TWRC_SUCCESS) << "the page is announced; its transfer fails";
  TW_HANDLE h = 0;
  EXPECT_EQ(app->NativeXfer(h), e.rc);
  EXPECT_EQ(h, 0u);
  if (e.rc == TWRC_FAILURE) {
    EXPECT_EQ(app->SourceCondition(), e.cc);
  }
  EXPECT_TRUE(debug_.Contains(e.text)) << debug_.All();
  EXPECT_TRUE(debug_.Contains(TestSourceName(0))) << "the message names the device";
  TW_PENDINGXFERS pending{};
  if (e.rc == TWRC_CANCEL) {
    EXPECT_EQ(app->EndXfer(pending), TWRC_SUCCESS);
  } else {
    EXPECT_EQ(app->ResetXfers(pending), TWRC_SUCCESS);
  }
  EXPECT_EQ(app->Disable(), TWRC_SUCCESS);
}

const ErrorCase kErrors[] = {
    {"Unsupported", "SANE_STATUS_UNSUPPORTED", TWRC_FAILURE, TWCC_BADPROTOCOL, "(SANE_STATUS_UNSUPPORTED)"},
    {"Cancelled", "SANE_STATUS_CANCELLED", TWRC_CANCEL, TWCC_SUCCESS, "(SANE_STATUS_CANCELLED)"},
    {"DeviceBusy", "SANE_STATUS_DEVICE_BUSY", TWRC_FAILURE, TWCC_MAXCONNECTIONS, "Device busy (SANE_STATUS_DEVICE_BUSY)"},
    {"Invalid", "SANE_STATUS_INVAL", TWRC_FAILURE, TWCC_BADVALUE, "Invalid argument (SANE_STATUS_INVAL)"},
    {"EndOfFile", "SANE_STATUS_EOF", TWRC_FAILURE, TWCC_BUMMER, "ended the page before its first line"},
    {"Jammed", "SANE_STATUS_JAMMED", TWRC_FAILURE, TWCC_OPERATIONERROR, "Document feeder jammed (SANE_STATUS_JAMMED)"},
    {"NoDocuments", "SANE_STATUS_NO_DOCS", TWRC_FAILURE, TWCC_OPERATIONERROR, "(SANE_STATUS_NO_DOCS)"},
    {"CoverOpen", "SANE_STATUS_COVER_OPEN", TWRC_FAILURE, TWCC_OPERATIONERROR, "Scanner cover is open (SANE_STATUS_COVER_OPEN)"},
    {"IoError", "SANE_STATUS_IO_ERROR", TWRC_FAILURE, TWCC_BUMMER, "Error during device I/O (SANE_STATUS_IO_ERROR)"},
    {"NoMemory", "SANE_STATUS_NO_MEM", TWRC_FAILURE, TWCC_LOWMEMORY, "Out of memory (SANE_STATUS_NO_MEM)"},
    {"AccessDenied", "SANE_STATUS_ACCESS_DENIED", TWRC_FAILURE, TWCC_BUMMER, "Access to resource has been denied (SANE_STATUS_ACCESS_DENIED)"},
};
INSTANTIATE_TEST_SUITE_P(Sane, ReadErrors, ::testing::ValuesIn(kErrors),
                         [](const ::testing::TestParamInfo<ErrorCase>& i) { return std::string(i.param.name); });

TEST_F(SaneProtocolTest, APageCancelledAfterItStartedLeavesTheNextScanWorking) {
  InstallSane();
  auto app = Open();
  EnableAndWait(*app);
  TW_IMAGEINFO info{};
  ASSERT_EQ(app->ImageInfo(info), TWRC_SUCCESS);
  const int cancelsBefore = SaneCallCounts().cancel;
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(app->ResetXfers(pending), TWRC_SUCCESS);
  EXPECT_GT(SaneCallCounts().cancel, cancelsBefore) << "the started page was cancelled in SANE";
  ASSERT_EQ(app->Disable(), TWRC_SUCCESS);
  Dib dib(ScanOne(*app));
  EXPECT_TRUE(dib.Valid());
  EXPECT_EQ(dib.width, info.ImageWidth);
}

TEST_F(SaneProtocolTest, ADeviceThatStopsDeliveringFailsAfterTheTimeout) {
  // The backend waits 200 ms before each block of data; the source gives it 50.
  InstallSane("ReadTimeout = 0.05\n");
  Sane().Write({{"read-delay", "true"}, {"read-delay-duration", "200000"}});
  auto app = Open();
  EnableAndWait(*app);
  TW_HANDLE h = 0;
  EXPECT_EQ(app->NativeXfer(h), TWRC_FAILURE);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(app->SourceCondition(), TWCC_BUMMER);
  EXPECT_TRUE(debug_.Contains("the scanner delivered no data for 0.05 s and was cancelled")) << debug_.All();
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(app->ResetXfers(pending), TWRC_SUCCESS);
  EXPECT_EQ(app->Disable(), TWRC_SUCCESS);
}

// ---- The dialog ---------------------------------------------------------------------------------

TEST_F(SaneProtocolTest, WithoutShowUINoWindowEverAppears) {
  InstallSane();
  auto app = Open();
  Dib dib(ScanOne(*app));
  EXPECT_TRUE(dib.Valid());
  EXPECT_TRUE(Desktop().Shown().empty());
}

TEST_F(SaneProtocolTest, TheDialogShowsTheMainOptionsAndScansOrCancels) {
  InstallSane();
  Sane().Write({{"mode", "Color"}, {"resolution", "100.0"}});
  auto app = Open();
  Desktop().Press("Scan", TestSourceName(0));
  ASSERT_EQ(app->Enable(true), TWRC_SUCCESS);
  ASSERT_EQ(app->WaitForSourceEvent(), MSG_XFERREADY);
  ASSERT_EQ(Desktop().Shown().size(), 1u);
  const korven::platform::ShownWindow& w = Desktop().Shown()[0];
  EXPECT_TRUE(w.dialog);
  EXPECT_EQ(w.caption, TestSourceName(0));
  EXPECT_EQ(w.buttons, (std::vector<std::string>{"Scan", "Cancel"}));
  ASSERT_FALSE(w.texts.empty());
  EXPECT_NE(w.texts[0].find("Mode: Color"), std::string::npos) << w.texts[0];
  EXPECT_NE(w.texts[0].find("Resolution: 100 x 100 dpi"), std::string::npos) << w.texts[0];
  EXPECT_NE(w.texts[0].find("Source: Flatbed"), std::string::npos) << w.texts[0];
  TW_HANDLE h = 0;
  ASSERT_EQ(app->NativeXfer(h), TWRC_XFERDONE);
  GlobalBlock block(h);
  TW_PENDINGXFERS pending{};
  ASSERT_EQ(app->EndXfer(pending), TWRC_SUCCESS);
  Desktop().Press("Cancel", TestSourceName(0));
  EXPECT_EQ(app->WaitForSourceEvent(), MSG_CLOSEDSREQ);
  EXPECT_EQ(app->Disable(), TWRC_SUCCESS);
}

}  // namespace
}  // namespace korven::test
