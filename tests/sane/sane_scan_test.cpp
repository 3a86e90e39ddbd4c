// korven-scan on SANE devices, run as a program against scanimage on the same device: the pages it
// writes equal scanimage's pixel for pixel, a feeder batch fills one file, and a scanner error ends
// it with exit code 3 and SANE's own words.
#include "sane_support.h"

#include <filesystem>

namespace korven::test {
namespace {

using korven::tools_test::RunProgram;
using korven::tools_test::RunResult;
using korven::tools_test::ScratchDir;

class SaneScanTest : public SaneTest {
 protected:
  void SetUp() override {
    SaneTest::SetUp();
    if (IsSkipped()) return;
    if (std::string why = ScanimageMissing(); !why.empty()) GTEST_SKIP() << why;
    InstallSane();
    Windows().AddSource("virtual", "virtual");
  }
  // The program sees the private Windows directory and SANE configuration. A sanitizer build of it
  // does not check for leaks here: SANE's test backend loses a buffer in its own reader thread when a
  // scan is cancelled, and unloads itself before the check could name it (the program's own leaks
  // are checked by the korven-scan suites; sane.ds's by this suite's in-process tests).
  RunResult Scan(std::vector<std::string> args) {
    std::map<std::string, std::string> env = Sane().Environment();
    env["ASAN_OPTIONS"] = "detect_leaks=0";
    env["KORVEN_WINDOWS_DIR"] = Windows().Path().string();
    env["KORVEN_PROFILE"] = (Windows().Path() / "win.ini").string();
    return RunProgram(KORVEN_SCAN_PROGRAM, args, env);
  }
  // The options that name a source: scanimage's -d where korven-scan speaks scanimage's language.
  static std::vector<std::string> Source(int device) {
    static const bool scanimageStyle =
        RunProgram(KORVEN_SCAN_PROGRAM, {"--help"}).out.find("--device-name") != std::string::npos;
    return {scanimageStyle ? "-d" : "--source", TestSourceName(device)};
  }
  static std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
  Pixels Scanimage() {
    auto r = RunProgram(ScanimagePath(), {"-d", TestDeviceName(0), "--format=pnm", "-o", dir_.File("scanimage.pnm")},
                        Sane().Environment());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return ReadPnm(dir_.File("scanimage.pnm"));
  }
  ScratchDir dir_;
};

struct ScanCase {
  const char* name;
  std::map<std::string, std::string> config;  // the device's settings, read by both programs
  const char* file;
};

class ScanIdentity : public SaneScanTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(ScanIdentity, KorvenScanWritesWhatScanimageReads) {
  Sane().Write(GetParam().config);
  Pixels expected = Scanimage();
  ASSERT_GT(expected.width, 0);
  const std::string out = dir_.File(GetParam().file);
  RunResult r = Scan(With(Source(0), {"-o", out}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Pixels got = out.ends_with(".png") ? ReadPng(out) : ReadTiffPage(out, 0);
  EXPECT_EQ(FirstDifference(got, expected), "");
}

const ScanCase kScans[] = {
    {"Grey8Png", {}, "page.png"},
    {"Grey1Png", {{"depth", "1"}, {"test-picture", "Grid"}}, "page.png"},
    {"Grey1Tiff", {{"depth", "1"}, {"test-picture", "Grid"}}, "page.tif"},
    {"Grey16Png", {{"depth", "16"}}, "page.png"},
    {"ColourPng", {{"mode", "Color"}}, "page.png"},
    {"ColourTiff", {{"mode", "Color"}}, "page.tif"},
    {"ThreePassColourPng", {{"mode", "Color"}, {"three-pass", "true"}, {"three-pass-order", "BRG"}}, "page.png"},
    {"FramePng", {{"tl_x", "5.0"}, {"tl_y", "9.0"}, {"br_x", "70.0"}, {"br_y", "33.0"}, {"mode", "Color"}}, "page.png"},
    {"Resolution200Png", {{"resolution", "200.0"}}, "page.png"},
    {"SolidBlackPng", {{"test-picture", "\"Solid black\""}}, "page.png"},
    {"SolidWhitePng", {{"test-picture", "\"Solid white\""}, {"depth", "1"}}, "page.png"},
};
INSTANTIATE_TEST_SUITE_P(Sane, ScanIdentity, ::testing::ValuesIn(kScans),
                         [](const ::testing::TestParamInfo<ScanCase>& i) { return std::string(i.param.name); });

TEST_F(SaneScanTest, AHandScannerPageHasItsRealHeight) {
  Sane().Write({{"hand-scanner", "true"}});
  Pixels expected = Scanimage();
  const std::string out = dir_.File("page.png");
  RunResult r = Scan(With(Source(0), {"-o", out}));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Pixels got = ReadPng(out);
  EXPECT_EQ(got.height, int(75 * 170 / 25.4));
  EXPECT_EQ(FirstDifference(got, expected), "");
}

TEST_F(SaneScanTest, AFeederBatchGivesExactlyTenPagesInOneFile) {
  for (const char* file : {"batch.tif", "batch.pdf"}) {
    const std::string out = dir_.File(file);
    RunResult r = Scan(With(Source(0), {"--feeder", "-o", out}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    if (std::string(file).ends_with(".tif")) {
      EXPECT_EQ(TiffPages(out), 10);
    } else {
      auto info = RunProgram("/usr/bin/pdfinfo", {out});
      EXPECT_NE(info.out.find("Pages:           10"), std::string::npos) << info.out;
    }
  }
}

TEST_F(SaneScanTest, AScannerErrorExitsThreeWithSanesOwnWords) {
  Sane().Write({{"read-status-code", "\"SANE_STATUS_JAMMED\""}});
  const std::string out = dir_.File("page.png");
  RunResult r = Scan(With(Source(0), {"-o", out}));
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_NE(r.err.find("Document feeder jammed (SANE_STATUS_JAMMED)"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(SaneScanTest, ListAndInfoShowTheSaneDevices) {
  RunResult list = Scan({"--list"});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  for (const std::string& name : {TestSourceName(0), TestSourceName(1), std::string("Virtual Scanner")})
    EXPECT_NE(list.out.find(name), std::string::npos) << list.out;
  RunResult info = Scan(With({"--info"}, Source(1)));
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find(TestSourceName(1)), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Noname"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("resolution"), std::string::npos) << info.out;
}

}  // namespace
}  // namespace korven::test
