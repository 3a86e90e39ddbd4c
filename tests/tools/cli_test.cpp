// korven-scan's command line, run as a program: every bad usage exits 2 with one line naming the bad
// value and pointing to --help, before any scanner is asked (the Windows directory given to the
// program holds no manager at all) and without writing anything.
#include "tools_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

using namespace korven::tools_test;

namespace {

const std::string kProgram = KORVEN_SCAN_PROGRAM;

class Cli : public ::testing::Test {
 protected:
  // An empty Windows directory: a command that got as far as the scanner would fail with 3.
  RunResult Scan(std::vector<std::string> args) {
    return RunProgram(kProgram, args, {{"KORVEN_WINDOWS_DIR", windows_.Path().string()},
                                {"KORVEN_PROFILE", windows_.File("win.ini")}});
  }
  ScratchDir windows_;
  ScratchDir out_;
};

TEST_F(Cli, EveryBadUsageExitsTwoWithOneLineNamingTheValue) {
  ScratchDir other;
  std::string file = out_.File("not-a-folder.txt");
  FILE* f = fopen(file.c_str(), "w");
  fclose(f);
  const std::string png = out_.File("page.png");
  struct Case {
    std::vector<std::string> args;
    std::string named;  // what the message must name
  };
  const Case cases[] = {
      {{"--pixel-type", "cmyk", "-o", png}, "'cmyk'"},
      {{"--resolution", "-300", "-o", png}, "'-300'"},
      {{"--resolution", "0", "-o", png}, "'0'"},
      {{"--resolution", "3o0", "-o", png}, "'3o0'"},
      {{"--resolution", "nan", "-o", png}, "'nan'"},
      {{"--frame", "1,2,3", "-o", png}, "'1,2,3'"},
      {{"--frame", "1,2,x,4", "-o", png}, "'x'"},
      {{"--frame", "-1,0,5,5", "-o", png}, "LEFT"},
      {{"--frame", "0,0,5,0", "-o", png}, "HEIGHT"},
      {{"--unit", "furlong", "--frame", "0,0,1,1", "-o", png}, "'furlong'"},
      {{"--paper", "a9", "-o", png}, "'a9'"},
      {{"--paper", "a4", "--frame", "0,0,1,1", "-o", png}, "--frame"},
      {{"--bit-depth", "7", "-o", png}, "'7'"},
      {{"--pixel-type", "bw", "--bit-depth", "8", "-o", png}, "'8'"},
      {{"--brightness", "1001", "-o", png}, "'1001'"},
      {{"--contrast", "-2000", "-o", png}, "'-2000'"},
      {{"--gamma", "0", "-o", png}, "'0'"},
      {{"--highlight", "256", "-o", png}, "'256'"},
      {{"--shadow", "-1", "-o", png}, "'-1'"},
      {{"--shadow", "200", "--highlight", "100", "-o", png}, "'200'"},
      {{"--threshold", "300", "-o", png}, "'300'"},
      {{"--scaling", "-1", "-o", png}, "'-1'"},
      {{"--pages", "0", "-o", png}, "'0'"},
      {{"--pages", "2.5", "-o", png}, "'2.5'"},
      {{"--timeout", "-1", "-o", png}, "'-1'"},
      {{"--timeout", "soon", "-o", png}, "'soon'"},
      {{"--info", "--timeout", "5"}, "--timeout"},
      {{"--source", std::string(40, 'x'), "-o", png}, "xxxx"},
      {{"--source", "A", "--select", "-o", png}, "--select"},
      {{"-o", out_.File("page.gif")}, "'.gif'"},
      {{"-o", out_.File("page")}, "extension"},
      {{"-o", out_.File("page-%s.png")}, "page-%s.png"},
      {{"-o", out_.File("p-%d-%d.png")}, "p-%d-%d.png"},
      {{"-o", out_.File("d%d/page.png")}, "d%d/page.png"},
      {{"-o", other.Path().string() + "/"}, other.Path().string()},
      {{"--feeder", "-o", png}, "one page"},
      {{"--pages", "3", "-o", out_.File("page.jpg")}, "one page"},
      {{"--list", "--info"}, "--info"},
      {{"--list", "-o", png}, "--output"},
      {{"--info", "-o", png}, "--output"},
      {{"-r", "-o", png}, "--resolution needs a value"},
      {{"-o", png, "-r"}, "--resolution needs a value"},
      {{"--mode", "sepia", "-o", png}, "'sepia'"},
      {{"--mode", "Lineart", "--depth", "8", "-o", png}, "'8'"},
      {{"--depth", "16", "-o", png}, "'16'"},
      {{"--format", "gif"}, "'gif'"},
      {{"-x", "0", "-o", png}, "-x"},
      {{"-l", "-5", "-o", png}, "'-5'"},
      {{"-t", "ten", "-o", png}, "'ten'"},
      {{"-l", "1", "--frame", "0,0,1,1", "-o", png}, "-l/-t/-x/-y"},
      {{"--batch-count", "3", "-o", png}, "--batch"},
      {{"--batch", "-o", png}, "--batch"},
      {{"--batch=" + out_.File("page.png"), "--batch-count", "2"}, "one page"},
      {{"--batch", "--batch-start", "x"}, "'x'"},
      {{"--source", "ADF", "-o", png}, "one page"},
      {{"--source", "ADF"}, "standard output takes one PNM page"},
      {{"--source", "Flatbed", "--feeder", "-o", png}, "--feeder"},
      {{"-q", "-p", "-o", png}, "--progress"},
      {{"--no-such-option"}, "--no-such-option"},
      {{"-o", png, "stray"}, "stray"},
      {{"--resolution"}, "--resolution"},
      {{"--resolution", "300", "--resolution", "600", "-o", png}, "--resolution"},
      // Control characters in a value are shown escaped: the message stays one line.
      {{"--pixel-type", "two\nlines", "-o", png}, "'two\\nlines'"},
      {{"--paper", "a4\x1b[2J", "-o", png}, "'a4\\x1b[2J'"},
      {{"-b-\xd3=o=\xefut%i1-paGeg*\"\"\",x,2\xd3\xd3\xcb\n\n\n\n\n\n\ng*\"\"\",x,2\x93"}, "\\n\\n"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    RunResult r = Scan(c.args);
    EXPECT_EQ(r.exitCode, 2) << shown << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << "\n" << r.err;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << shown << "\n" << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << shown << "\n" << r.err;
    EXPECT_TRUE(r.out.empty()) << shown;
  }
  EXPECT_EQ(out_.Entries(), std::vector<std::string>{"not-a-folder.txt"});
  EXPECT_TRUE(other.Entries().empty());
}

// What the file system refuses is an output error (exit 4) with one line naming the file, not bad
// usage; nothing is written.
TEST_F(Cli, OutputFolderProblemsExitFour) {
  ScratchDir other;
  std::string file = out_.File("not-a-folder.txt");
  std::fclose(std::fopen(file.c_str(), "w"));
  struct Case {
    std::string output;
    std::string named;
  };
  std::vector<Case> cases = {{out_.File("missing/page.png"), "missing"},
                             {file + "/page.png", "not-a-folder.txt"}};
  ScratchDir locked;
  std::filesystem::permissions(locked.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  if (geteuid() != 0) cases.push_back({locked.File("page.png"), "not writable"});  // root writes into any folder
  for (const Case& c : cases) {
    RunResult r = Scan({"-o", c.output});
    EXPECT_EQ(r.exitCode, 4) << c.output << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
  }
  EXPECT_EQ(out_.Entries(), std::vector<std::string>{"not-a-folder.txt"});
  EXPECT_TRUE(other.Entries().empty());
  EXPECT_TRUE(locked.Entries().empty());
}

// A value above what TWAIN can carry is refused with the upper limit, not with "must be above 0".
TEST_F(Cli, TooLargeValueNamesTheUpperLimit) {
  const std::string png = out_.File("page.png");
  for (const auto& [option, value] : std::vector<std::pair<std::string, std::string>>{
           {"--resolution", "99999"}, {"--gamma", "1e9"}, {"--scaling", "40000"}}) {
    RunResult r = Scan({option, value, "-o", png});
    EXPECT_EQ(r.exitCode, 2) << option << "\n" << r.err;
    EXPECT_NE(r.err.find("'" + value + "'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("32767"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(out_.Entries().empty());
}

TEST_F(Cli, ValidUsageGetsPastTheChecks) {
  // Accepted values reach the scanner, which is missing here: exit 3, not 2, and no file.
  const std::vector<std::vector<std::string>> cases = {
      {"-o", out_.File("page.png")},
      {"--pixel-type", "GRAY", "--bit-depth", "8", "--resolution", "150.5", "-o", out_.File("a.tif")},
      {"--brightness", "-100", "--contrast=-50", "--gamma", "1.8", "--highlight", "250", "--shadow", "5", "-o",
       out_.File("b.jpeg")},
      {"--unit", "cm", "--frame", "1,1.5,10,15", "--scaling", "0.5", "-o", out_.File("c.bmp")},
      {"--paper", "letter", "--feeder", "--pages", "10", "-o", out_.File("d.pdf")},
      {"--feeder", "-o", out_.File("page-%02d.png")},
      {"--feeder", "--pages", "1", "-o", out_.File("first.png")},
      {"-s", "Virtual Scanner", "-q", "-v", "--show-ui", "--auto-bright", "--threshold", "128", "-o", out_.File("e.png")},
      {"--list"},
      {"--info", "--unit", "pixel"},
      {"--info", "--unit", "mm", "--resolution", "300"},
      // scanimage's command lines
      {"-L"},
      {"-A"},
      {"-d", "Virtual Scanner", "-n", "-p", "--resolution", "150"},
      {"-l", "10", "-t", "20", "-x", "100", "-y", "100", "-o", out_.File("f.png")},
      {"--mode", "Color", "--depth", "8", "--resolution", "150", "--format=tiff"},
      {"--mode", "grey", "--format", "pnm", "-o", "-"},
      {"--source", "ADF", "--batch=" + out_.File("p%d.pnm"), "--batch-start", "5", "--batch-count", "2"},
      {"-b", "--batch-increment", "2", "--batch-prompt", "--format", "png"},
      {"--source", "Flatbed", "--brightness", "10", "--contrast", "20", "-o", out_.File("g.pgm")},
      {"--unit", "mm", "--frame", "10,10,50,50", "-o", out_.File("h.ppm")},
  };
  for (const auto& args : cases) {
    RunResult r = Scan(args);
    EXPECT_EQ(r.exitCode, 3) << args.front() << "\n" << r.err;
  }
  EXPECT_TRUE(out_.Entries().empty());
}

TEST_F(Cli, HelpNamesEveryOptionAndVersionPrintsTheVersion) {
  RunResult help = Scan({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* opt : {"--list", "--info", "--source", "--select", "--resolution", "--pixel-type", "--bit-depth",
                          "--unit", "--paper", "--frame", "--brightness", "--contrast", "--gamma", "--highlight",
                          "--shadow", "--threshold", "--scaling", "--auto-bright", "--feeder", "--pages", "--show-ui",
                          "--output", "-o", "--quiet", "--verbose", "--version", "--help", "--device-name", "-d",
                          "--list-devices", "-L", "--all-options", "-A", "--mode", "--depth", "--format",
                          "--output-file", "--progress", "-p", "--dont-scan", "-n", "--batch", "--batch-start",
                          "--batch-count", "--batch-increment", "--batch-prompt", "-l", "-t", "-x", "-y"})
    EXPECT_NE(help.out.find(opt), std::string::npos) << opt;
  RunResult version = Scan({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "korven-scan " KORVEN_SCAN_VERSION "\n");
  EXPECT_TRUE(out_.Entries().empty());
}

}  // namespace
