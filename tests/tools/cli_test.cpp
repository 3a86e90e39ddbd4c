// korven-scan's command line, run as a program: every bad usage exits 2 with one line naming the bad
// value and pointing to --help, before any scanner is asked (the Windows directory given to the
// program holds no manager at all) and without writing anything.
#include "tools_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

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
      {{"--source", std::string(40, 'x'), "-o", png}, "xxxx"},
      {{"--source", "A", "--select", "-o", png}, "--select"},
      {{"-o", out_.File("page.gif")}, "'.gif'"},
      {{"-o", out_.File("page")}, "extension"},
      {{"-o", out_.File("missing/page.png")}, "missing"},
      {{"-o", file + "/page.png"}, "not-a-folder.txt"},
      {{"-o", out_.File("page-%s.png")}, "page-%s.png"},
      {{"-o", out_.File("p-%d-%d.png")}, "p-%d-%d.png"},
      {{"-o", out_.File("d%d/page.png")}, "d%d/page.png"},
      {{"-o", other.Path().string() + "/"}, other.Path().string()},
      {{"--feeder", "-o", png}, "one page"},
      {{"--pages", "3", "-o", out_.File("page.jpg")}, "one page"},
      {{"--list", "--info"}, "--info"},
      {{"--list", "-o", png}, "--output"},
      {{"--info", "--resolution", "300"}, "--resolution"},
      {{"--resolution", "300"}, "--output"},
      {{"--no-such-option"}, "--no-such-option"},
      {{"-o", png, "stray"}, "stray"},
      {{"--resolution"}, "--resolution"},
      {{"--resolution", "300", "--resolution", "600", "-o", png}, "--resolution"},
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

TEST_F(Cli, UnwritableFolderIsBadUsage) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into any folder";
  ScratchDir locked;
  std::filesystem::permissions(locked.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  RunResult r = Scan({"-o", locked.File("page.png")});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("not writable"), std::string::npos) << r.err;
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
                          "--output", "-o", "--quiet", "--verbose", "--version", "--help"})
    EXPECT_NE(help.out.find(opt), std::string::npos) << opt;
  RunResult version = Scan({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "korven-scan " KORVEN_SCAN_VERSION "\n");
  EXPECT_TRUE(out_.Entries().empty());
}

}  // namespace
