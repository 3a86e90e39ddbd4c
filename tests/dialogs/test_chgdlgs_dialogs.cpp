// The extension-changing save dialogs with a scripted desktop as the user: preselection, the name
// box following each type change, and the name Execute gives back.
#include <korven/ChgDlgs.h>
#include <korven/platform.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>

#include "dialog_support.h"

namespace {

const std::string kFilter = "Bitmap (*.bmp)|*.bmp|JPEG (*.jpg;*.jpeg)|*.jpg;*.jpeg";
const std::string kBmp = "pick:Bitmap (*.bmp)";
const std::string kJpeg = "pick:JPEG (*.jpg;*.jpeg)";

using Factory = std::function<std::unique_ptr<vcl::TOpenDialog>()>;

struct Kind {
  const char* name;
  Factory make;
};

const Kind kKinds[] = {
    {"TSaveExtDialog", [] { return std::make_unique<korven::TSaveExtDialog>(nullptr); }},
    {"TSavePictureExtDialog", [] { return std::make_unique<korven::TSavePictureExtDialog>(nullptr); }},
};

struct Scenario {
  const char* name;
  std::string filter;
  std::string fileName;  // before Execute ("@" stands for the test's folder)
  int filterIndex;       // before Execute
  int preselected;       // FilterIndex the dialog opens with (0: no type selected)
  std::vector<std::string> steps;  // see DialogTest::Script; "press:Save" ends each one
  std::vector<std::string> boxes;  // the name box at each "read"
  std::string result;              // FileName after Execute ("@": the test's folder)
  int resultIndex;
};

const std::string kAll = "All files (*.*)|*.*|Bitmap (*.bmp)|*.bmp";

const Scenario kScenarios[] = {
    {"TypeChangesRewriteTheBox", kFilter, "photo.jpeg", 1, 2,
     {"read", kBmp, "read", kJpeg, "read", "press:Save"}, {"photo.jpeg", "photo.bmp", "photo.jpg"},
     "@/photo.jpg", 2},
    {"PreselectionBySubstringAndCase", kFilter, "scan.JP", 1, 2, {"press:Save"}, {}, "@/scan.jpg", 2},
    {"ClosingAppliesTheChosenType", kFilter, "photo.jpeg", 1, 2, {"press:Save"}, {}, "@/photo.jpg", 2},
    {"NoExtensionGetsOne", kFilter, "report", 1, 1, {kJpeg, "read", "press:Save"}, {"report.jpg"}, "@/report.jpg", 2},
    {"BareDotIsNeverChanged", kFilter, "name.", 2, 1, {kJpeg, "read", "press:Save"}, {"name."}, "@/name.", 2},
    {"StoredPathShowsBareName", kFilter, "@/photo.jpeg", 1, 2, {kBmp, "read", "press:Save"}, {"photo.bmp"},
     "@/photo.bmp", 1},
    {"TypedPathIsKept", kFilter, "photo.jpeg", 1, 2, {"type:sub/typed.jpeg", "press:Save"}, {}, "@/sub/typed.jpg", 2},
    {"TypedPathLeavesTheBoxOnTypeChange", kFilter, "photo.jpeg", 1, 2,
     {"type:sub/typed.jpeg", kBmp, "read", "press:Save"}, {"typed.bmp"}, "@/typed.bmp", 1},
    {"TypedNameTakesTheTypeOnSave", kFilter, "photo.jpeg", 1, 2, {kBmp, "type:other.jpeg", "press:Save"}, {},
     "@/other.bmp", 1},
    {"FilterIndexOutOfRangeKeepsTheName", kFilter, "photo.png", 5, 0, {"press:Save"}, {}, "@/photo.png", 5},
    {"FilterIndexZeroKeepsTheName", kFilter, "photo.png", 0, 0, {"press:Save"}, {}, "@/photo.png", 0},
    {"NoFilterKeepsTheName", "", "photo.png", 1, 0, {"press:Save"}, {}, "@/photo.png", 1},
    {"WildcardTypeKeepsTheExtension", kAll, "a.txt", 1, 1, {kBmp, "read", "pick:All files (*.*)", "read", "press:Save"},
     {"a.bmp", "a.bmp"}, "@/a.bmp", 1},
    {"WildcardTypeOnSave", kAll, "a.txt", 1, 1, {"press:Save"}, {}, "@/a.txt", 1},
    // On POSIX only '/' separates folders: a ':' typed in a name stays in it.
    {"ColonInATypedNameStays", kFilter, "photo.jpeg", 1, 2, {"type:a:b.jpeg", kBmp, "read", "press:Save"},
     {"a:b.bmp"}, "@/a:b.bmp", 1},
    {"EmptyBoxStaysEmpty", kFilter, "", 1, 1, {kJpeg, "read", "type:x", "press:Save"}, {""}, "@/x.jpg", 2},
};

class ExtDialogs : public korven::test::DialogTest, public ::testing::WithParamInterface<Scenario> {
 protected:
  std::string Expand(const std::string& s) const { return s.rfind('@', 0) == 0 ? dir + s.substr(1) : s; }
};

TEST_P(ExtDialogs, KeepTheExtensionInStepWithTheType) {
  const Scenario& c = GetParam();
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    boxes.clear();
    auto dialog = kind.make();
    dialog->SetFilter(c.filter);
    dialog->SetFileName(Expand(c.fileName));
    dialog->SetFilterIndex(c.filterIndex);
    dialog->SetInitialDir(dir);
    int typeChanges = 0;
    dialog->OnTypeChange = [&](vcl::TObject*) { ++typeChanges; };
    Script(*dialog, c.steps);
    const size_t shownBefore = desktop.Shown().size();
    ASSERT_TRUE(dialog->Execute());

    const auto& shown = desktop.Shown().at(shownBefore);
    const int selected = static_cast<int>(
        std::find(shown.items.begin(), shown.items.end(), shown.selectedItem) - shown.items.begin());
    EXPECT_EQ(shown.selectedItem.empty() ? 0 : selected + 1, c.preselected);
    EXPECT_EQ(boxes, c.boxes);
    EXPECT_EQ(dialog->GetFileName(), Expand(c.result));
    EXPECT_EQ(dialog->GetFilterIndex(), c.resultIndex);
    EXPECT_EQ(typeChanges, static_cast<int>(std::count_if(c.steps.begin(), c.steps.end(), [](const std::string& s) {
                return s.rfind("pick:", 0) == 0;
              })));
    EXPECT_TRUE(desktop.Remaining().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ExtDialogs, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

class ExtDialog : public korven::test::DialogTest {};

TEST_F(ExtDialog, CancelLeavesTheNameAndKeepsThePreselection) {
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    auto dialog = kind.make();
    dialog->SetFilter(kFilter);
    dialog->SetFileName("photo.jpeg");
    Script(*dialog, {kBmp, "read", "press:Cancel"});
    EXPECT_FALSE(dialog->Execute());
    EXPECT_EQ(boxes.back(), "photo.bmp");
    EXPECT_EQ(dialog->GetFileName(), "photo.jpeg");
    EXPECT_EQ(dialog->GetFilterIndex(), 2);  // preselected before the dialog opened
  }
}

TEST_F(ExtDialog, OverwritePromptAsksAboutTheFileThatWillBeWritten) {
  std::ofstream(In("photo.bmp")) << "x";
  korven::TSaveExtDialog dialog(nullptr);
  dialog.SetFilter(kFilter);
  dialog.SetInitialDir(dir);
  dialog.SetFileName("photo.jpeg");
  dialog.SetOptions(dialog.GetOptions() + vcl::TOpenOptions{vcl::ofOverwritePrompt});
  // The type says Bitmap, the typed name says .jpeg: Execute would give photo.bmp, so that is the
  // file to ask about.
  Script(dialog, {kBmp, "type:photo.jpeg", "press:Save", "press:No", "read", "press:Save", "press:Yes"});
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.GetFileName(), In("photo.bmp"));
  EXPECT_EQ(boxes, (std::vector<std::string>{"photo.bmp"}));
  ASSERT_EQ(desktop.Shown().size(), 3u);
  EXPECT_EQ(desktop.Shown()[1].texts[0], In("photo.bmp") + " already exists.\nDo you want to replace it?");
}

TEST_F(ExtDialog, TypeChangeHandlerSeesTheRewrittenBox) {
  korven::TSaveExtDialog dialog(nullptr);
  dialog.SetFilter(kFilter);
  dialog.SetFileName("photo.jpeg");
  std::vector<std::string> seen;
  dialog.OnTypeChange = [&](vcl::TObject*) { seen.push_back(korven::test::NameBox(dialog)); };
  Script(dialog, {kBmp, "press:Cancel"});
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(seen, (std::vector<std::string>{"photo.bmp"}));
}

// Under code page 932: a type whose description has a character with '|' as its second byte, and a
// name with a character whose second byte is '\'.
class ExtDialogShiftJis : public korven::test::DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    ASSERT_TRUE(korven::platform::SetACP(932));
  }
  void TearDown() override {
    korven::platform::SetACP(CP_UTF8);
    DialogTest::TearDown();
  }
};

TEST_F(ExtDialogShiftJis, DoubleByteCharactersStayWhole) {
  const std::string poster = korven::platform::FromUtf8("ポスター (*.bmp)");  // ポ = 0x83 0x7C
  const std::string table = korven::platform::FromUtf8("表");                 // 表 = 0x95 0x5C
  ASSERT_EQ(poster.substr(0, 2), "\x83|");
  ASSERT_EQ(table, "\x95\\");
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    boxes.clear();
    auto dialog = kind.make();
    dialog->SetFilter(poster + "|*.bmp|JPEG|*.jpg;*.jpeg");
    dialog->SetInitialDir(dir);
    dialog->SetFileName(table + ".jpeg");
    Script(*dialog, {"read", "pick:" + poster, "read", "press:Save"});
    ASSERT_TRUE(dialog->Execute());
    EXPECT_EQ(desktop.Shown().back().items, (std::vector<std::string>{poster, "JPEG"}));
    EXPECT_EQ(boxes, (std::vector<std::string>{table + ".jpeg", table + ".bmp"}));
    EXPECT_EQ(dialog->GetFileName(), In(table + ".bmp"));
    EXPECT_EQ(dialog->GetFilterIndex(), 1);
  }
}

}  // namespace

namespace {

// The dialogs stream as components in a form file, with the framework's properties only.
TEST_F(ExtDialog, StreamThroughFormText) {
  korven::TSaveExtDialog source(nullptr);
  source.SetName("SaveExtDialog1");
  source.SetFilter(kFilter);
  source.SetFilterIndex(2);
  source.SetDefaultExt("bmp");
  source.SetOptions(source.GetOptions() + vcl::TOpenOptions{vcl::ofOverwritePrompt});
  const std::string text = vcl::ComponentToText(&source);
  EXPECT_NE(text.find("object SaveExtDialog1: TSaveExtDialog"), std::string::npos) << text;
  EXPECT_NE(text.find("Options = [ofOverwritePrompt, ofHideReadOnly, ofEnableSizing]"), std::string::npos) << text;

  korven::TSaveExtDialog copy(nullptr);
  vcl::TextToComponent(text, &copy);
  EXPECT_EQ(copy.GetFilter(), kFilter);
  EXPECT_EQ(copy.GetFilterIndex(), 2);
  EXPECT_EQ(copy.GetDefaultExt(), "bmp");
  EXPECT_EQ(copy.GetOptions(), source.GetOptions());
}

}  // namespace
