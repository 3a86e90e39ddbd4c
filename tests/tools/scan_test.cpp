// Whole scans: the korven-scan program against the real manager and the virtual scanner, installed
// in a private Windows directory per test. Each format is read back with its library; a feeder batch
// gives one page per loaded sheet; a failing source exits 3 with the component's message; a write
// that fails exits 4 and leaves no file.
#include "tools_support.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <testsupport.h>
#include <tiffio.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

using namespace korven::tools_test;

namespace {

const std::string kProgram = KORVEN_SCAN_PROGRAM;

class Scan : public ::testing::Test {
 protected:
  void Install(const std::string& config = "", const std::string& name = "virtual") {
    windows_.AddSource("virtual", name, config);
  }
  RunResult Invoke(const std::vector<std::string>& args) {
    return korven::tools_test::RunProgram(kProgram, args, {{"KORVEN_WINDOWS_DIR", windows_.Path().string()},
                                                    {"KORVEN_PROFILE", (windows_.Path() / "win.ini").string()}});
  }
  korven::test::PrivateWindowsDir windows_;
  ScratchDir out_;
};

int TiffPages(const std::string& path, uint16_t* photometric = nullptr, uint16_t* bits = nullptr, float* dpi = nullptr) {
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) return -1;
  if (photometric) TIFFGetField(t, TIFFTAG_PHOTOMETRIC, photometric);
  if (bits) TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, bits);
  if (dpi) TIFFGetField(t, TIFFTAG_XRESOLUTION, dpi);
  int n = TIFFNumberOfDirectories(t);
  TIFFClose(t);
  return n;
}

TEST_F(Scan, SinglePageToPngKeepsGeometryResolutionAndType) {
  Install();
  // 5.08 x 2.54 cm is 2 x 1 inch: 200 x 100 pixels at 100 dpi (a pixel either way for rounding).
  RunResult r = Invoke({"--pixel-type", "gray", "--resolution", "100", "--unit", "cm", "--frame", "0,0,5.08,2.54", "-o",
                        out_.File("page.png")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::regex_search(r.err, std::regex(R"(page 1: \d+ x \d+ px, 100 dpi, 8-bit gray, [0-9.]+ s)"))) << r.err;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, out_.File("page.png").c_str())) << image.message;
  EXPECT_NEAR(double(image.width), 200, 1);
  EXPECT_NEAR(double(image.height), 100, 1);
  EXPECT_FALSE(image.format & PNG_FORMAT_FLAG_COLOR);
  png_image_free(&image);
  EXPECT_EQ(out_.Entries(), std::vector<std::string>{"page.png"});
}

TEST_F(Scan, FeederBatchGivesOnePagePerLoadedSheet) {
  Install("PagesLoaded = 4\n");
  RunResult tif = Invoke({"--feeder", "--pixel-type", "bw", "--resolution", "75", "-o", out_.File("batch.tif")});
  ASSERT_EQ(tif.exitCode, 0) << tif.err;
  uint16_t photometric = 99, bits = 0;
  float dpi = 0;
  EXPECT_EQ(TiffPages(out_.File("batch.tif"), &photometric, &bits, &dpi), 4);
  EXPECT_EQ(photometric, PHOTOMETRIC_MINISWHITE);
  EXPECT_EQ(bits, 1);
  EXPECT_EQ(dpi, 75.0f);

  RunResult pdf = Invoke({"--feeder", "--resolution", "50", "-o", out_.File("batch.pdf")});
  ASSERT_EQ(pdf.exitCode, 0) << pdf.err;
  if (HaveTool("pdfinfo")) {
    EXPECT_TRUE(std::regex_search(Shell("pdfinfo " + out_.File("batch.pdf")), std::regex(R"(Pages:\s+4\n)")));
  }

  RunResult each = Invoke({"--feeder", "--pages", "3", "--resolution", "50", "-q", "-o", out_.File("p-%d.jpg")});
  ASSERT_EQ(each.exitCode, 0) << each.err;
  EXPECT_TRUE(each.err.empty()) << each.err;
  EXPECT_EQ(out_.Entries(), (std::vector<std::string>{"batch.pdf", "batch.tif", "p-1.jpg", "p-2.jpg", "p-3.jpg"}));
}

TEST_F(Scan, ListMarksTheDefaultAndInfoShowsTheSource) {
  Install("", "virtual");
  Install("ProductName = Second Scanner\n", "second");
  RunResult list = Invoke({"--list"});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  EXPECT_NE(list.out.find("Virtual Scanner"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("Second Scanner"), std::string::npos) << list.out;
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '*'), 1) << list.out;

  RunResult info = Invoke({"--info", "--source", "Second Scanner", "--unit", "inch"});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("Second Scanner"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Platen:        8.8 x 12 inch"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("resolution"), std::string::npos) << info.out;

  // The program's desktop answers the manager's dialog as a person pressing its default button.
  RunResult selected = Invoke({"--select", "--resolution", "50", "-q", "-o", out_.File("selected.png")});
  EXPECT_EQ(selected.exitCode, 0) << selected.err;
  EXPECT_EQ(out_.Entries(), std::vector<std::string>{"selected.png"});
}

TEST_F(Scan, UnknownSourceAndFailingSourceExitThree) {
  Install();
  RunResult unknown = Invoke({"--source", "Nope", "-o", out_.File("x.png")});
  EXPECT_EQ(unknown.exitCode, 3) << unknown.err;
  EXPECT_NE(unknown.err.find("Nope"), std::string::npos);

  // A source file that is no shared object: the manager cannot open it, the component says so.
  std::ofstream(windows_.SourcesDir() / "broken.ds") << "not a shared object";
  for (const auto& e : std::filesystem::directory_iterator(windows_.SourcesDir()))
    if (e.path().filename() != "broken.ds") std::filesystem::remove(e.path());
  RunResult failing = Invoke({"-o", out_.File("x.png")});
  EXPECT_EQ(failing.exitCode, 3) << failing.err;
  EXPECT_NE(failing.err.find("TWAIN"), std::string::npos) << failing.err;
  EXPECT_TRUE(out_.Entries().empty());
}

// A missing manager and an empty source folder are told apart, in English, for every action: the
// component's own texts for them are Japanese and --list saw only an empty list.
TEST_F(Scan, MissingManagerAndNoSourceAreNamedInEveryAction) {
  struct Case {
    bool withManager;
    const char* reason;
  };
  for (const Case& c : {Case{false, "cannot load the TWAIN Data Source Manager"}, Case{true, "no TWAIN source is installed"}}) {
    korven::test::PrivateWindowsDir dir(c.withManager);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--list"}, {"--info"}, {"-o", out_.File("x.png")}}) {
      RunResult r = korven::tools_test::RunProgram(
          kProgram, args, {{"KORVEN_WINDOWS_DIR", dir.Path().string()}, {"KORVEN_PROFILE", (dir.Path() / "win.ini").string()}});
      EXPECT_EQ(r.exitCode, 3) << args[0] << "\n" << r.err;
      EXPECT_NE(r.err.find(c.reason), std::string::npos) << args[0] << "\n" << r.err;
    }
  }
  EXPECT_TRUE(out_.Entries().empty());
}

TEST_F(Scan, TransferFailureExitsThree) {
  Install("TransferResult = failure\n");
  RunResult failed = Invoke({"-o", out_.File("x.png")});
  EXPECT_EQ(failed.exitCode, 3) << failed.err;
  EXPECT_TRUE(out_.Entries().empty());
}

TEST_F(Scan, WhatTheSourceCannotDoEndsTheScanWithItsReason) {
  struct Case {
    const char* config;
    std::vector<std::string> args;
    int exitCode;
    const char* reason;
  };
  const Case cases[] = {
      {"Feeder = no\n", {"--feeder", "-o", "f.pdf"}, 3, "has no document feeder"},
      {"# defaults\n", {"--pixel-type", "gray", "--bit-depth", "4", "-o", "b.png"}, 3, "does not scan gray in 4 bits"},
      {"PagesLoaded = 0\n", {"--feeder", "-o", "e.pdf"}, 1, "the document feeder is empty"},
  };
  for (const Case& c : cases) {
    Install(c.config);
    std::vector<std::string> args = c.args;
    args.back() = out_.File(args.back());
    RunResult r = Invoke(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.reason << "\n" << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
  }
  EXPECT_TRUE(out_.Entries().empty());
}

// A frame the platen (8.8 x 12 inch) cannot hold is clamped by the source, but never silently: the
// warning says which area was scanned instead. A frame that fits draws no warning; one with no area
// on the platen at all is refused (exit 2) naming the platen's size, in the unit the person used.
TEST_F(Scan, FrameTheSourceChangesIsReportedWithTheAreaScanned) {
  Install();
  struct Case {
    std::vector<std::string> area;
    int exitCode;
    const char* message;  // empty: nothing
  };
  const Case cases[] = {
      {{"--frame", "9,13,1,1"}, 2, "--frame 9,13,1,1 inch has no area on the source's platen (8.8 x 12 inch)"},
      {{"-l", "300", "-t", "0"}, 2, "has no area on the source's platen (223.52 x 304.8 mm)"},
      {{"--frame", "0,0,20,20"}, 0, "warning: --frame 0,0,20,20 does not fit the source's platen (8.8 x 12 inch); 0,0,8.8,12 inch is scanned"},
      {{"--frame", "1,1,2,3"}, 0, ""},
      {{"-l", "10", "-t", "10", "-x", "50", "-y", "50"}, 0, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--resolution", "50", "-o", out_.File("f.png")};
    args.insert(args.end(), c.area.begin(), c.area.end());
    RunResult r = Invoke(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.area[1] << "\n" << r.err;
    if (*c.message) {
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    } else {
      EXPECT_EQ(r.err.find("platen"), std::string::npos) << r.err;
    }
  }
}

TEST_F(Scan, PalettePageStaysPaletteAndVerboseShowsTheComponentsDiagnostics) {
  Install("Unsupported = ICAP_GAMMA\n");
  RunResult r = Invoke({"--pixel-type", "palette", "--resolution", "50", "--gamma", "1.5", "--verbose", "-o",
                        out_.File("p.png")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("warning: the source has no --gamma setting"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("[component] "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("8-bit palette"), std::string::npos) << r.err;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, out_.File("p.png").c_str())) << image.message;
  EXPECT_TRUE(image.format & PNG_FORMAT_FLAG_COLORMAP);
  png_image_free(&image);
}

TEST_F(Scan, FailedWriteExitsFourAndLeavesNoFile) {
  Install();
  // A full disk as the program sees it: the file size limit is inherited by the child.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit lim = old;
  lim.rlim_cur = 2048;
  auto handler = std::signal(SIGXFSZ, SIG_IGN);  // ignored dispositions survive exec
  setrlimit(RLIMIT_FSIZE, &lim);
  RunResult r = Invoke({"--resolution", "150", "-o", out_.File("big.png")});
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ(r.exitCode, 4) << r.err;
  EXPECT_NE(r.err.find("big.png"), std::string::npos) << r.err;
  EXPECT_TRUE(out_.Entries().empty());
}

// A folder that refuses new files even to root (sysfs): the checks before scanning cannot see it
// (access() grants root everything), so the refusal comes when the file is created: exit 4 with the
// reason, and nothing left behind. Runs where such a folder exists (always for root on Linux).
TEST_F(Scan, UncreatableOutputExitsFourAndLeavesNoFile) {
  const std::string probe = "/sys/korven-probe";
  if (std::FILE* f = std::fopen(probe.c_str(), "w")) {
    std::fclose(f);
    std::remove(probe.c_str());
    GTEST_SKIP() << "/sys accepts new files here";
  }
  Install();
  RunResult r = Invoke({"--resolution", "50", "-o", "/sys/korven-scan-test.png"});
  EXPECT_EQ(r.exitCode, geteuid() == 0 ? 4 : 2) << r.err;
  EXPECT_NE(r.err.find("/sys"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists("/sys/korven-scan-test.png"));
}

}  // namespace

namespace {

// Values are honest: --info lists what a source offers as a list; a value the source moves is
// reported as scanimage reports it; a value outside everything offered is exit 2 naming what is
// offered; a device name in another case opens the installed source; --pages on the flatbed says
// that one page is scanned.
TEST_F(Scan, ValuesTheSourceMovesOrRefusesAreReported) {
  Install("Resolutions = 75, 150, 300, 600\nDefaultResolution = 150\n");
  RunResult info = Invoke({"-A"});
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("resolution   150 (one of 75, 150, 300, 600, default 150)"), std::string::npos) << info.out;

  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  };
  const Case cases[] = {
      {{"-r", "110"}, 0, "korven-scan: rounded value of resolution from 110 to 75\n"},
      {{"-r", "300"}, 0, ""},
      {{"-r", "2000"}, 2, "resolution 2000 is not offered by the source 'Virtual Scanner'; it offers 75, 150, 300, 600"},
      {{"-r", "40"}, 2, "it offers 75, 150, 300, 600"},
      {{"-d", "virtual scanner", "-r", "75"}, 0, ""},
      {{"-r", "75", "--pages", "5", "-o", out_.File("p-%d.png")}, 0, "--pages 5: the flatbed holds one page"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    if (std::find(args.begin(), args.end(), "-o") == args.end()) args.insert(args.end(), {"-o", out_.File("r.png")});
    RunResult r = Invoke(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << args[1] << "\n" << r.err;
    if (*c.message) {
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    } else {
      EXPECT_EQ(r.err.find("rounded"), std::string::npos) << r.err;
    }
  }
  EXPECT_EQ(out_.Entries(), (std::vector<std::string>{"p-1.png", "r.png"}));

  // A source with a range rounds to its step: -r 75.5 becomes 76, and says so.
  Install("ProductName = Plain\n", "plain");
  RunResult rounded = Invoke({"-d", "Plain", "-r", "75.5", "-n"});
  EXPECT_EQ(rounded.exitCode, 0) << rounded.err;
  EXPECT_NE(rounded.err.find("rounded value of resolution from 75.5 to 76"), std::string::npos) << rounded.err;
}

}  // namespace

namespace {

// korven-scan with a person at a terminal (a pseudo-terminal here): the dialogs are shown there and
// answered with keys, instead of being pressed by the default desktop.
class AtTerminal : public Scan {
 protected:
  // Starts the program on a new pseudo-terminal (standard input, output and error).
  void Start(const std::vector<std::string>& args) {
    std::vector<std::string> store{kProgram};
    store.insert(store.end(), args.begin(), args.end());
    std::string windows = windows_.Path().string(), profile = (windows_.Path() / "win.ini").string();
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      setenv("KORVEN_WINDOWS_DIR", windows.c_str(), 1);
      setenv("KORVEN_PROFILE", profile.c_str(), 1);
      std::vector<char*> argv;
      for (auto& a : store) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(kProgram.c_str(), argv.data());
      _exit(127);
    }
  }
  // Reads the terminal until text appears (true) or 10 s pass.
  bool WaitFor(const std::string& text) {
    for (int i = 0; i < 200; ++i) {
      if (screen_.find(text, seen_) != std::string::npos) {
        seen_ = screen_.find(text, seen_) + text.size();
        return true;
      }
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 50) > 0) {
        char buf[4096];
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) return false;
        screen_.append(buf, size_t(n));
      }
    }
    return false;
  }
  void Keys(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }
  int Finish() {
    WaitFor("\x04never");  // drain what is left
    int status = 0;
    waitpid(pid_, &status, 0);
    close(master_);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  pid_t pid_ = -1;
  int master_ = -1;
  std::string screen_;
  size_t seen_ = 0;
};

TEST_F(AtTerminal, TheSelectionDialogIsAnsweredByThePerson) {
  Install("", "virtual");
  Install("ProductName = Second Scanner\n", "second");
  Start({"--select", "-r", "50", "-o", out_.File("chosen.png")});
  ASSERT_TRUE(WaitFor("== Select Source ==")) << screen_;
  ASSERT_TRUE(WaitFor("Esc cancels")) << screen_;
  // The person picks "Second Scanner" by its number and presses Select.
  size_t at = screen_.find(") Second Scanner");
  ASSERT_NE(at, std::string::npos) << screen_;
  Keys(std::string(1, screen_[at - 1]) + "\r");
  ASSERT_TRUE(WaitFor("-> Select")) << screen_;
  EXPECT_EQ(Finish(), 0) << screen_;
  EXPECT_EQ(out_.Entries(), std::vector<std::string>{"chosen.png"});
  std::ifstream ini(windows_.Path() / "win.ini");
  std::string profile((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
  EXPECT_NE(profile.find("Second Scanner"), std::string::npos) << profile;
}

TEST_F(AtTerminal, BatchPromptAsksBeforeEachPageUntilCancel) {
  Install();
  Start({"--batch=" + out_.File("p%d.png"), "--batch-prompt", "-r", "50"});
  ASSERT_TRUE(WaitFor("Place document no. 1 on the scanner.")) << screen_;
  ASSERT_TRUE(WaitFor("Esc cancels")) << screen_;
  Keys("\r");
  ASSERT_TRUE(WaitFor("Place document no. 2 on the scanner.")) << screen_;
  ASSERT_TRUE(WaitFor("Esc cancels")) << screen_;
  Keys("\x1b");
  EXPECT_EQ(Finish(), 0) << screen_;
  EXPECT_EQ(out_.Entries(), std::vector<std::string>{"p1.png"});
}

// Without a terminal nobody can answer the prompt: its default is Cancel, so no page is scanned.
TEST_F(Scan, BatchPromptWithoutATerminalEndsTheBatch) {
  Install();
  RunResult r = Invoke({"--batch=" + out_.File("p%d.png"), "--batch-prompt", "-r", "50"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("Place document no. 1"), std::string::npos) << r.err;
  EXPECT_TRUE(out_.Entries().empty());
}

// A scanner that keeps korven-scan waiting ends the scan at --timeout: exit 3, a line naming the wait,
// nothing half-written; the pages that came before stay when each has its own file.
TEST_F(Scan, AWaitPastTheTimeoutCancelsTheScan) {
  struct Case {
    const char* name;
    std::string config;
    std::vector<std::string> args;
    std::string wait;
    std::vector<std::string> files;
  } cases[] = {
      {"never announced", "AnnounceAfter = never\n", {"-o", "page.png"}, "the scanner to announce a page", {}},
      {"stops mid-batch with the dialog", "PagesLoaded = 3\nStopAnsweringAfter = 1\n",
       {"--feeder", "--show-ui", "-o", "page-%d.png"}, "the scanner to announce the next page", {"page-1.png"}},
      {"stops mid-batch into one file", "PagesLoaded = 3\nStopAnsweringAfter = 1\n",
       {"--feeder", "--show-ui", "-o", "batch.pdf"}, "the scanner to announce the next page", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    korven::test::PrivateWindowsDir windows;
    windows.AddSource("virtual", "virtual", c.config);
    ScratchDir out;
    std::vector<std::string> args = {"--resolution", "50", "--timeout", "0.5"};
    for (const std::string& a : c.args) args.push_back(a.find('.') != std::string::npos ? out.File(a) : a);
    RunResult r = korven::tools_test::RunProgram(kProgram, args, {{"KORVEN_WINDOWS_DIR", windows.Path().string()},
                                                                  {"KORVEN_PROFILE", (windows.Path() / "win.ini").string()},
                                                                  {"KORVEN_DESKTOP", "quiet"}});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_NE(r.err.find("cancelled after waiting 0.5 s for " + c.wait + " (--timeout)"), std::string::npos) << r.err;
    EXPECT_EQ(out.Entries(), c.files);
  }
}

TEST_F(Scan, ALateButTimelyScannerIsWaitedFor) {
  Install("AnnounceAfter = 200\n");
  RunResult r = Invoke({"--resolution", "50", "--timeout", "20", "-o", out_.File("page.png")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(out_.Entries(), std::vector<std::string>{"page.png"});
}

}  // namespace
