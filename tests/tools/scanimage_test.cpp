// scanimage's command lines, as people write them, run against korven-scan and the virtual scanner:
// each must scan and write the pages scanimage would (format, pixel type, size in pixels, file
// names of a batch). Where scanimage and SANE's test backend are installed, the same line is also
// run by scanimage itself and the two results are compared.
#include "tools_support.h"

#include <gtest/gtest.h>
#include <testsupport.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

using namespace korven::tools_test;

namespace {

const std::string kProgram = KORVEN_SCAN_PROGRAM;

// What a written page looks like: its kind ("P4", "P5", "P6", "PNG", "TIFF", "JPEG", "PDF") and,
// for PNM, its size.
struct Page {
  std::string kind;
  int width = 0, height = 0;
};

Page ReadPage(const std::string& bytes) {
  Page p;
  if (bytes.rfind("\x89PNG", 0) == 0) p.kind = "PNG";
  else if (bytes.rfind("II*", 0) == 0 || bytes.rfind("MM\0*", 0) == 0) p.kind = "TIFF";
  else if (bytes.rfind("\xFF\xD8", 0) == 0) p.kind = "JPEG";
  else if (bytes.rfind("%PDF", 0) == 0) p.kind = "PDF";
  else if (bytes.size() > 2 && bytes[0] == 'P' && bytes[1] >= '4' && bytes[1] <= '6') {
    p.kind = bytes.substr(0, 2);
    std::istringstream in(bytes.substr(2, 256));
    std::string word;
    int* fields[] = {&p.width, &p.height};
    int got = 0;
    while (got < 2 && in >> word) {
      if (word[0] == '#') {
        std::getline(in, word);
        continue;
      }
      *fields[got++] = std::stoi(word);
    }
  }
  if (p.kind == "PNG" && bytes.size() > 24) {
    auto be = [&](size_t at) {
      return int((uint8_t(bytes[at]) << 24) | (uint8_t(bytes[at + 1]) << 16) | (uint8_t(bytes[at + 2]) << 8) |
                 uint8_t(bytes[at + 3]));
    };
    p.width = be(16);
    p.height = be(20);
  }
  return p;
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

struct Line {
  const char* name;
  std::vector<std::string> args;      // "DEVICE" and "DIR/" are filled in
  std::vector<std::string> files;     // written into DIR; empty: standard output (or nothing)
  std::string kind;                   // of every page written; empty: nothing is written
  int width = 0, height = 0;          // pixels (PNM and PNG); 0: not checked
};

const Line kLines[] = {
    {"GreyAreaToPnm",
     {"-d", "DEVICE", "--mode", "Gray", "--resolution", "100", "-l", "10", "-t", "20", "-x", "50", "-y", "25",
      "--format=pnm", "-o", "DIR/a.pnm"},
     {"a.pnm"}, "P5", 197, 98},
    {"ColourToPng",
     {"-d", "DEVICE", "--mode", "Color", "--resolution", "75", "-x", "100", "-y", "100", "--format=png", "-o", "DIR/b.png"},
     {"b.png"}, "PNG", 295, 295},
    {"LineartTiffToStandardOutput",
     {"-d", "DEVICE", "--mode", "Gray", "--depth", "1", "--resolution", "150", "-x", "40", "-y", "30", "--format=tiff"},
     {}, "TIFF"},
    {"DefaultFormatIsPnm", {"-d", "DEVICE", "--mode", "Color", "--resolution", "50", "-x", "25.4", "-y", "25.4"}, {}, "P6", 50, 50},
    {"JpegByExtension", {"-d", "DEVICE", "--mode", "Color", "--resolution", "50", "-x", "50", "-y", "50", "-o", "DIR/d.jpg"},
     {"d.jpg"}, "JPEG"},
    {"FeederBatch",
     {"-d", "DEVICE", "--source", "Automatic Document Feeder", "--mode", "Gray", "--resolution", "50", "-x", "20", "-y",
      "20", "--batch=DIR/e%d.pnm", "--batch-count", "2"},
     {"e1.pnm", "e2.pnm"}, "P5", 39, 39},
    {"NumberedFlatbedBatch",
     {"-d", "DEVICE", "--mode", "Color", "--resolution", "50", "-x", "20", "-y", "20", "--batch=DIR/f%03d.pnm", "--batch-start", "3",
      "--batch-increment", "2", "--batch-count", "2"},
     {"f003.pnm", "f005.pnm"}, "P6", 39, 39},
    {"ProgressToPdf",
     {"-d", "DEVICE", "-p", "--mode", "Color", "--resolution", "50", "-x", "30", "-y", "30", "--format=pdf", "-o", "DIR/h.pdf"},
     {"h.pdf"}, "PDF"},
    {"DontScan", {"-d", "DEVICE", "-n", "--resolution", "300"}, {}, ""},
};

std::vector<std::string> Fill(const Line& line, const std::string& device, const std::string& dir) {
  std::vector<std::string> args;
  for (std::string a : line.args) {
    if (a == "DEVICE") a = device;
    for (size_t at; (at = a.find("DIR/")) != std::string::npos;) a.replace(at, 4, dir + "/");
    args.push_back(a);
  }
  return args;
}

// The pages a run left: from the named files, else from standard output.
std::vector<Page> PagesOf(const Line& line, const ScratchDir& dir, const RunResult& r) {
  std::vector<Page> pages;
  for (const auto& f : line.files) pages.push_back(ReadPage(ReadFile(dir.File(f))));
  if (line.files.empty() && !r.out.empty()) pages.push_back(ReadPage(r.out));
  return pages;
}

class ScanimageLines : public ::testing::TestWithParam<Line> {
 protected:
  korven::test::PrivateWindowsDir windows_;
};

TEST_P(ScanimageLines, WriteThePagesScanimageWould) {
  const Line& line = GetParam();
  windows_.AddSource("virtual", "virtual");
  ScratchDir out;
  RunResult r = RunProgram(kProgram, Fill(line, "Virtual Scanner", out.Path().string()),
                           {{"KORVEN_WINDOWS_DIR", windows_.Path().string()},
                            {"KORVEN_PROFILE", (windows_.Path() / "win.ini").string()}});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<Page> pages = PagesOf(line, out, r);
  std::vector<std::string> expectedFiles(line.files.begin(), line.files.end());
  std::sort(expectedFiles.begin(), expectedFiles.end());
  EXPECT_EQ(out.Entries(), expectedFiles);
  if (line.kind.empty()) {
    EXPECT_TRUE(r.out.empty());
    return;
  }
  ASSERT_FALSE(pages.empty());
  for (const Page& p : pages) {
    EXPECT_EQ(p.kind, line.kind);
    if (line.width) {
      EXPECT_NEAR(p.width, line.width, 1);
      EXPECT_NEAR(p.height, line.height, 1);
    }
  }

  // The same line through scanimage and SANE's test backend, where they are installed.
  if (!HaveTool("scanimage")) return;
  ScratchDir sane, theirs;
  std::ofstream(sane.File("dll.conf")) << "test\n";
  RunResult s = RunProgram(Shell("command -v scanimage | tr -d '\\n'"), Fill(line, "test", theirs.Path().string()),
                           {{"SANE_CONFIG_DIR", sane.Path().string()}});
  ASSERT_EQ(s.exitCode, 0) << s.err;
  EXPECT_EQ(theirs.Entries(), expectedFiles);
  std::vector<Page> scanimagePages = PagesOf(line, theirs, s);
  ASSERT_EQ(scanimagePages.size(), pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_EQ(pages[i].kind, scanimagePages[i].kind) << "page " << i + 1;
    EXPECT_NEAR(pages[i].width, scanimagePages[i].width, 1) << "page " << i + 1;
    EXPECT_NEAR(pages[i].height, scanimagePages[i].height, 1) << "page " << i + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, ScanimageLines, ::testing::ValuesIn(kLines),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
