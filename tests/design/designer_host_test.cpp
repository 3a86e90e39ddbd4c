// korven-designer run as a program on copies of examples/ScanForm.dfm: the palette, the Object
// Inspector's rows, writes through property editors, verbs with the default desktop and with
// scripts, saving in the file's own format, pictures of forms and of the windows a verb shows, and
// the exit codes of what goes wrong.
#include <korven/platform.h>
#include <vcl/Classes.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testsupport.h"
#include "tools_support.h"

namespace {

namespace fs = std::filesystem;
using korven::tools_test::RunProgram;
using korven::tools_test::RunResult;
using korven::tools_test::ScratchDir;

std::string Read(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const std::string& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

class DesignerHost : public ::testing::Test {
 protected:
  void SetUp() override {
    form = scratch.File("ScanForm.dfm");
    fs::copy_file(KORVEN_EXAMPLE_FORM, form);
    windows.AddSource("virtual", "virtual", "ProductName = Virtual Scanner\n");
  }

  RunResult Run(std::vector<std::string> args) {
    return RunProgram(KORVEN_DESIGNER_PROGRAM, args,
                      {{"KORVEN_WINDOWS_DIR", windows.Path().string()}, {"KORVEN_PROFILE", scratch.File("win.ini")}});
  }
  std::string Script(const std::string& text) {
    std::string file = scratch.File("steps.txt");
    Write(file, text);
    return file;
  }
  // The line of `inspect` for a row.
  static std::string RowOf(const std::string& out, const std::string& path) {
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
      if (line.rfind("  " + path + " ", 0) == 0) return line;
    return "";
  }

  ScratchDir scratch;
  korven::test::PrivateWindowsDir windows;
  std::string form;
};

TEST_F(DesignerHost, ThePaletteAndTheRegistrationCallsOfTheDefaultPackage) {
  RunResult r = Run({"palette"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("korvends.so: TWAIN Scanner Control Components\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Scanner\n  TScanner\n  TSaveExtDialog\n  TSavePictureExtDialog\n"), std::string::npos) << r.out;
  r = Run({"palette", "--calls"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("RegisterComponents('Scanner', [TScanner])\n"
                       "RegisterPropertyEditor(Boolean, TScanRange, 'Supported', TReadOnlyBoolProperty)\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("RegisterComponents('Scanner', [TSavePictureExtDialog])\n"), std::string::npos);
}

TEST_F(DesignerHost, InspectShowsDottedRowsWithTheirAttributes) {
  RunResult r = Run({"inspect", form, "Scanner1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.rfind("Scanner1: TScanner\n", 0), 0u);
  EXPECT_NE(RowOf(r.out, "Resolution.Min").find("1 "), std::string::npos);
  EXPECT_NE(RowOf(r.out, "Resolution.Min").find("[read-only,"), std::string::npos);
  EXPECT_NE(RowOf(r.out, "Resolution.Value").find("150"), std::string::npos);
  EXPECT_EQ(RowOf(r.out, "Resolution.Value").find("read-only"), std::string::npos);
  EXPECT_NE(RowOf(r.out, "Gamma.Supported").find("True"), std::string::npos);
  EXPECT_NE(RowOf(r.out, "SourceName").find("Virtual Scanner"), std::string::npos);
  r = Run({"inspect", form, "Scanner1", "--events"});
  EXPECT_NE(RowOf(r.out, "OnAfterScan").find("Scanner1AfterScan"), std::string::npos) << r.out;
  r = Run({"inspect", form, "Scanner9"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "korven-designer: " + form + " has no component named Scanner9\n");
}

TEST_F(DesignerHost, SetWritesThroughTheEditorsAndKeepsTheFilesFormatAndItsEvents) {
  RunResult r = Run({"set", form, "Scanner1.Resolution.Value=300", "Scanner1.PixelType=ptGray", "Label1.Caption=Hi"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Scanner1.Resolution.Value = 300\nScanner1.PixelType = ptGray\nLabel1.Caption = Hi\n");
  std::string text = Read(form);
  EXPECT_NE(text.find("    Resolution.Value = 300.000000000000000000\r\n"), std::string::npos);
  EXPECT_NE(text.find("    PixelType = ptGray\r\n"), std::string::npos);
  // The handlers this host has no code for are written back by name.
  EXPECT_NE(text.find("    OnAfterScan = Scanner1AfterScan\r\n"), std::string::npos);
  EXPECT_NE(text.find("    OnClick = ButtonScanClick\r\n"), std::string::npos);

  // A binary form file stays binary.
  std::string binary = scratch.File("Binary.dfm");
  {
    vcl::TStringStream in(text);
    vcl::TFileStream out(binary, vcl::fmCreate);
    vcl::ObjectTextToBinary(&in, &out);
  }
  r = Run({"set", binary, "Scanner1.ShowUI=True"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Read(binary).substr(0, 4), "TPF0");
  r = Run({"inspect", binary, "Scanner1"});
  EXPECT_NE(RowOf(r.out, "ShowUI").find("True"), std::string::npos);
}

struct Refusal {
  const char* name;
  std::vector<std::string> assignments;
  const char* message;
};
void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class SetRefuses : public DesignerHost, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SetRefuses, ExitsTwoWithTheReasonAndLeavesTheFileUnchanged) {
  std::string before = Read(form);
  std::vector<std::string> args{"set", form};
  for (const auto& a : GetParam().assignments) args.push_back(a);
  RunResult r = Run(args);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, std::string("korven-designer: ") + GetParam().message + "\n");
  EXPECT_EQ(Read(form), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetRefuses,
    ::testing::Values(
        Refusal{"ReadOnlyLimit", {"Scanner1.Resolution.Min=5"}, "Scanner1.Resolution.Min is read-only"},
        Refusal{"ReadOnlySupported", {"Scanner1.Gamma.Supported=False"}, "Scanner1.Gamma.Supported is read-only"},
        Refusal{"SubObjectRow", {"Scanner1.Resolution=1"}, "Scanner1.Resolution is read-only"},
        Refusal{"NotANumber",
                {"Scanner1.Resolution.Value=abc"},
                "Scanner1.Resolution.Value = 'abc': 'abc' is not a valid floating point value"},
        Refusal{"NotAMember", {"Scanner1.PixelType=ptSepia"}, "Scanner1.PixelType = 'ptSepia': Invalid property value"},
        Refusal{"AGoodOneBeforeABadOneIsNotSavedEither",
                {"Scanner1.ShowUI=True", "Scanner1.Resolution.Max=5"},
                "Scanner1.Resolution.Max is read-only"},
        Refusal{"UnknownProperty", {"Scanner1.Colour=1"}, "Scanner1 (TScanner) has no property Colour"},
        Refusal{"NoAssignment", {"Scanner1.ShowUI"}, "'Scanner1.ShowUI' is not NAME.PROPERTY=VALUE"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DesignerHost, VerbsListsTheEditorsVerbsAndVerbSavesOnlyWhenTheDesignerWasMarked) {
  RunResult r = Run({"verbs", form, "Scanner1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, korven::platform::FromUtf8("0  プロパティの編集\n1  バージョン情報\n"));

  // The about box marks nothing: the file is left alone.
  fs::file_time_type stamp = fs::last_write_time(form);
  std::string before = Read(form);
  r = Run({"verb", form, "Scanner1", "1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("Version 5.0.2"), std::string::npos) << r.err;  // the default desktop lists what it showed
  EXPECT_NE(r.err.find("not modified"), std::string::npos);
  EXPECT_EQ(fs::last_write_time(form), stamp);

  // The editor form, answered with its default button (OK): marked, saved, the same settings.
  r = Run({"verb", form, "Scanner1", "0"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("saved " + form), std::string::npos) << r.err;
  EXPECT_EQ(Read(form), before);

  r = Run({"verb", form, "Scanner1", "2"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "korven-designer: Scanner1 (TScannerEditor) has 2 verbs (0 to 1)\n");
  r = Run({"verb", form, "SaveExtDialog1", "0"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err, "korven-designer: SaveExtDialog1 (TComponentEditor) has 0 verbs\n");
}

TEST_F(DesignerHost, AScriptAnswersTheEditorFormStepByStep) {
  // Changes, then OK: saved.
  RunResult r = Run({"verb", form, "Scanner1", "0", "--script",
                     Script("# the editor form\n"
                            "check Show&UI on\n"
                            "tab " + korven::platform::FromUtf8("イメージ設定") + "\n"
                            "pick ptBlackWhite ComboPixelType\n"
                            "tab " + korven::platform::FromUtf8("イメージ調整") + "\n"
                            "slide BarGamma 30\n"
                            "press OK\n")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string text = Read(form);
  EXPECT_NE(text.find("    PixelType = ptBlackWhite\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    Gamma.Value = 3.000000000000000000\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("ShowUI = False"), std::string::npos);

  // Changes, then Cancel: nothing saved.
  std::string before = Read(form);
  r = Run({"verb", form, "Scanner1", "0", "--script",
           Script("check Show&UI off\npress \"" + korven::platform::FromUtf8("キャンセル") + "\"\n")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("not modified"), std::string::npos);
  EXPECT_EQ(Read(form), before);

  // A step that is never used is reported.
  r = Run({"verb", form, "Scanner1", "1", "--script", Script("press OK\nclose\n")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("warning: the script's step 'Close"), std::string::npos) << r.err;
}

TEST_F(DesignerHost, RenderDrawsTheFormAndSnapshotsKeepEveryWindowAVerbShows) {
  const std::string png = scratch.File("form.png");
  RunResult r = Run({"render", form, "-o", png});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string head = Read(png).substr(0, 24);
  ASSERT_EQ(head.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  auto be32 = [&](size_t at) {
    return (static_cast<unsigned char>(head[at]) << 24) | (static_cast<unsigned char>(head[at + 1]) << 16) |
           (static_cast<unsigned char>(head[at + 2]) << 8) | static_cast<unsigned char>(head[at + 3]);
  };
  // ClientWidth 320 x ClientHeight 96 inside a dialog's frame (3 pixels, and a 19-pixel caption bar).
  EXPECT_EQ(be32(16), 320 + 2 * 3);
  EXPECT_EQ(be32(20), 96 + 2 * 3 + 19);

  const std::string out = scratch.File("out");
  r = Run({"verb", form, "Scanner1", "1", "--snapshot", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> files;
  for (const auto& f : fs::directory_iterator(out)) files.push_back(f.path().filename().string());
  EXPECT_EQ(files, std::vector<std::string>{"001-" + std::string("バージョン情報") + ".png"});
  EXPECT_NE(r.err.find("wrote " + out + "/001-"), std::string::npos) << r.err;
}

struct Failure {
  const char* name;
  std::vector<std::string> args;  // FORM stands for the form file, SCRIPT for a script of `script`
  const char* script;
  int exitCode;
  const char* message;  // part of standard error
};
void PrintTo(const Failure& c, std::ostream* os) { *os << c.name; }

class Fails : public DesignerHost, public ::testing::WithParamInterface<Failure> {};

TEST_P(Fails, WithItsExitCodeAndAMessageAndTheFileUnchanged) {
  const Failure& c = GetParam();
  std::string before = Read(form);
  std::vector<std::string> args;
  for (const auto& a : c.args) args.push_back(a == "FORM" ? form : a == "SCRIPT" ? Script(c.script) : a);
  RunResult r = Run(args);
  EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
  EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  EXPECT_EQ(Read(form), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Fails,
    ::testing::Values(
        Failure{"NoSuchPackage", {"--package", "/nonexistent/pkg.so", "palette"}, "", 3,
                "Cannot load package /nonexistent/pkg.so: no such file"},
        Failure{"NoSuchFormFile", {"inspect", "/nonexistent/form.dfm", "Scanner1"}, "", 4, "/nonexistent/form.dfm"},
        Failure{"MalformedFormFile", {"inspect", "SCRIPT", "Scanner1"}, "object X: TForm\n  Caption = \n", 4,
                "Value expected on line"},
        Failure{"UnknownScriptStep", {"verb", "FORM", "Scanner1", "0", "--script", "SCRIPT"}, "wave hello\n", 2,
                "steps.txt:1: unknown step 'wave'"},
        Failure{"BadSliderPosition", {"verb", "FORM", "Scanner1", "0", "--script", "SCRIPT"}, "slide BarGamma x\n", 2,
                "steps.txt:1: 'x' is no slider position"},
        Failure{"AScriptThatRunsOutEndsTheVerb", {"verb", "FORM", "Scanner1", "0", "--script", "SCRIPT"}, "# nothing\n",
                5, "The application waits for input and the script cannot act"},
        Failure{"UnknownComponent", {"verbs", "FORM", "Scanner9"}, "", 2, "has no component named Scanner9"},
        Failure{"SnapshotFolderIsAFile", {"--snapshot", "FORM", "verb", "FORM", "Scanner1", "1"}, "", 2,
                "cannot make the folder"},
        Failure{"PictureIntoAMissingFolder", {"render", "FORM", "-o", "/nonexistent/form.png"}, "", 4,
                "cannot write /nonexistent/form.png: No such file or directory"},
        Failure{"NoCommand", {}, "", 2, "A subcommand is required"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
