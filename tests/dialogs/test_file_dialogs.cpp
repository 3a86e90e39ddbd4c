// The framework's file dialogs as a person meets them through the desktop: what the window shows,
// what Execute stores, what reads through while the window is open, and that the application's
// windows come back enabled on every path.
#include <vcl/Dialogs.h>
#include <vcl/FileDialogs.h>
#include <vcl/Graphics.h>

#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>

#include "dialog_support.h"

using namespace vcl;
using korven::platform::ReadText;
using korven::platform::ShownWindow;
using korven::platform::VisibleWindows;

namespace {

const char* const kFilter = "Bitmap (*.bmp)|*.bmp|JPEG (*.jpg;*.jpeg)|*.jpg;*.jpeg";

class FileDialogs : public korven::test::DialogTest {};

// ---- What the window shows ----------------------------------------------------------------------

struct LookCase {
  const char* name;
  std::function<std::unique_ptr<TOpenDialog>()> make;
  std::string title;
  TOpenOptions options;
  std::string caption;
  std::vector<std::string> buttons;
  std::vector<std::string> texts;
};

const LookCase kLooks[] = {
    {"Save", [] { return std::make_unique<TSaveDialog>(nullptr); }, "", TOpenOptions{ofHideReadOnly}, "Save As",
     {"&Save", "Cancel"}, {"File &name:", "Save as &type:"}},
    {"Open", [] { return std::make_unique<TOpenDialog>(nullptr); }, "", TOpenOptions{ofHideReadOnly}, "Open",
     {"&Open", "Cancel"}, {"File &name:", "Files of &type:"}},
    {"OpenWithReadOnlyBox", [] { return std::make_unique<TOpenDialog>(nullptr); }, "Load a page", TOpenOptions{},
     "Load a page", {"Open as &read-only", "&Open", "Cancel"}, {"File &name:", "Files of &type:"}},
    {"SavePicture", [] { return std::make_unique<TSavePictureDialog>(nullptr); }, "", TOpenOptions{ofHideReadOnly},
     "Save As", {"&Save", "Cancel"}, {"File &name:", "Save as &type:", "(None)"}},
};

class FileDialogLooks : public FileDialogs, public ::testing::WithParamInterface<LookCase> {};

TEST_P(FileDialogLooks, ShowCaptionTypesNameAndButtons) {
  const LookCase& c = GetParam();
  auto dialog = c.make();
  dialog->SetTitle(c.title);
  dialog->SetOptions(c.options);
  dialog->SetFilter(kFilter);
  dialog->SetFilterIndex(2);
  dialog->SetFileName(In("photo.jpeg"));
  desktop.Press("Cancel");
  EXPECT_FALSE(dialog->Execute());

  ASSERT_EQ(desktop.Shown().size(), 1u);
  const ShownWindow& w = desktop.Shown()[0];
  EXPECT_EQ(w.className, "#32770");
  EXPECT_TRUE(w.dialog);
  EXPECT_EQ(w.caption, c.caption);
  EXPECT_EQ(w.items, (std::vector<std::string>{"Bitmap (*.bmp)", "JPEG (*.jpg;*.jpeg)"}));
  EXPECT_EQ(w.selectedItem, "JPEG (*.jpg;*.jpeg)");
  EXPECT_EQ(w.edits, (std::vector<std::string>{"photo.jpeg"}));  // the bare name; the folder is shown apart
  EXPECT_EQ(w.buttons, c.buttons);
  EXPECT_EQ(w.defaultButton, c.buttons[c.buttons.size() - 2]);
  std::vector<std::string> texts = {dir};
  texts.insert(texts.end(), c.texts.begin(), c.texts.end());
  EXPECT_EQ(w.texts, texts);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FileDialogLooks, ::testing::ValuesIn(kLooks),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- What Execute stores ------------------------------------------------------------------------

struct SaveCase {
  const char* name;
  std::string initialName;  // FileName before Execute ("@" stands for the test's folder)
  std::string typed;        // typed into the name box ("" types nothing)
  std::string defaultExt;
  std::string expected;  // FileName after Execute, "@" for the test's folder
  bool extensionDifferent;
};

const SaveCase kSaves[] = {
    {"BareNameJoinsInitialDir", "", "report.bmp", "", "@/report.bmp", false},
    {"DefaultExtForNameWithoutOne", "", "report", "bmp", "@/report.bmp", false},
    {"DefaultExtWithDotIsNotDoubled", "", "report", ".bmp", "@/report.bmp", false},
    {"OwnExtensionWins", "", "report.txt", "bmp", "@/report.txt", true},
    {"TrailingDotTakesNoDefault", "", "report.", "bmp", "@/report.", true},
    {"TypedRelativePathKept", "", "sub/report.bmp", "", "@/sub/report.bmp", false},
    {"TypedAbsolutePathKept", "", "/tmp/elsewhere/x.bmp", "", "/tmp/elsewhere/x.bmp", false},
    {"StoredNameKeepsItsFolder", "/var/scans/page.bmp", "", "", "/var/scans/page.bmp", false},
    {"StoredBareNameJoinsInitialDir", "page.bmp", "", "", "@/page.bmp", false},
};

class FileDialogSaves : public FileDialogs, public ::testing::WithParamInterface<SaveCase> {
 protected:
  std::string Expand(const std::string& s) { return s.rfind('@', 0) == 0 ? dir + s.substr(1) : s; }
};

TEST_P(FileDialogSaves, StoreTheFullPath) {
  const SaveCase& c = GetParam();
  TSaveDialog dialog(nullptr);
  dialog.SetInitialDir(dir);
  dialog.SetFileName(Expand(c.initialName));
  dialog.SetDefaultExt(c.defaultExt);
  dialog.SetFilter(kFilter);
  if (!c.typed.empty()) desktop.Type(c.typed);
  desktop.Press("Save");
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.GetFileName(), Expand(c.expected));
  EXPECT_EQ(dialog.GetOptions().Contains(ofExtensionDifferent), c.extensionDifferent);
  ASSERT_EQ(dialog.GetFiles()->Count(), 1);
  EXPECT_EQ(dialog.GetFiles()->Get(0), Expand(c.expected));
  EXPECT_TRUE(desktop.Remaining().empty());
}

INSTANTIATE_TEST_SUITE_P(Names, FileDialogSaves, ::testing::ValuesIn(kSaves),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileDialogs, CancelAndCloseBoxStoreNothing) {
  for (const char* how : {"press:Cancel", "close"}) {
    TSaveDialog dialog(nullptr);
    dialog.SetFilter(kFilter);
    dialog.SetFileName("photo.jpeg");
    dialog.SetFilterIndex(2);
    Script(dialog, {"pick:Bitmap (*.bmp)", "type:other.bmp", how});
    EXPECT_FALSE(dialog.Execute()) << how;
    EXPECT_EQ(dialog.GetFileName(), "photo.jpeg") << how;
    EXPECT_EQ(dialog.GetFilterIndex(), 2) << how;
    EXPECT_EQ(dialog.GetFiles()->Count(), 0) << how;
    EXPECT_EQ(dialog.GetHandle(), 0u);
  }
}

TEST_F(FileDialogs, ChosenTypeIsStored) {
  TSaveDialog dialog(nullptr);
  dialog.SetFilter(kFilter);
  dialog.SetInitialDir(dir);
  Script(dialog, {"pick:JPEG (*.jpg;*.jpeg)", "type:a.jpg", "press:Save"});
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.GetFilterIndex(), 2);
}

TEST_F(FileDialogs, FilterIndexOutsideTheTypesSelectsNoneAndIsKept) {
  for (int index : {0, 3, -1}) {
    TSaveDialog dialog(nullptr);
    dialog.SetFilter(kFilter);
    dialog.SetInitialDir(dir);
    dialog.SetFilterIndex(index);
    Script(dialog, {"type:a.png", "press:Save"});
    ASSERT_TRUE(dialog.Execute());
    EXPECT_EQ(desktop.Shown().back().selectedItem, "") << index;
    EXPECT_EQ(dialog.GetFilterIndex(), index);
  }
}

TEST_F(FileDialogs, SaveTakesOnlyANameThatCanBeConfirmed) {
  TSaveDialog dialog(nullptr);
  dialog.SetInitialDir(dir);
  std::vector<bool> enabled;
  auto look = [&] {
    enabled.push_back(IsWindowEnabled(GetDlgItem(GetParent(dialog.GetHandle()), IDOK)));
    return true;
  };
  desktop.Do("look", look).Type("*.bmp").Do("look", look).Type("x").Do("look", look).Press("Save");
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(enabled, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(dialog.GetFileName(), In("x"));
}

// A person pressing the default button (the default desktop of a program) saves a named file and
// cancels a dialog without a name, instead of pressing a Save that does nothing for ever.
TEST_F(FileDialogs, DefaultDesktopSavesANamedFileAndCancelsAnEmptyOne) {
  korven::platform::DefaultDesktop person(true);
  korven::platform::ScopedDesktop asPerson(person);
  TSaveDialog dialog(nullptr);
  dialog.SetInitialDir(dir);
  EXPECT_FALSE(dialog.Execute());
  dialog.SetFileName("scan.bmp");
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.GetFileName(), In("scan.bmp"));
}

TEST_F(FileDialogs, TypedFolderBecomesTheDialogsFolder) {
  std::filesystem::create_directory(In("sub"));
  TSaveDialog dialog(nullptr);
  dialog.SetInitialDir(dir);
  Script(dialog, {"type:sub", "press:Save", "read", "type:page.bmp", "press:Save"});
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(boxes, (std::vector<std::string>{""}));
  EXPECT_EQ(dialog.GetFileName(), In("sub/page.bmp"));
}

// ---- While the window is open -------------------------------------------------------------------

TEST_F(FileDialogs, WhileOpenPropertiesReadTheWindow) {
  TSaveDialog dialog(nullptr);
  dialog.SetFilter(kFilter);
  dialog.SetInitialDir(dir);
  dialog.SetFileName("first.bmp");
  dialog.SetFilterIndex(1);
  std::vector<std::string> seen;
  desktop.Type("second.jpg").Pick("JPEG (*.jpg;*.jpeg)").Do("look at the open dialog", [&] {
    HWND hook = dialog.GetHandle();
    HWND window = GetParent(hook);
    EXPECT_NE(hook, 0u);
    EXPECT_FALSE(IsWindowVisible(hook));
    EXPECT_EQ(VisibleWindows().front(), window);
    EXPECT_EQ(dialog.GetFileName(), In("second.jpg"));
    EXPECT_EQ(dialog.GetFilterIndex(), 2);
    EXPECT_EQ(dialog.GetFolder(), dir);

    // The window answers the common dialog messages.
    EXPECT_TRUE(SendMessageA(window, CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>("third.jpg")));
    EXPECT_EQ(ReadText(window, edt1), "third.jpg");
    char small[4] = "xyz";
    EXPECT_EQ(SendMessageA(window, CDM_GETSPEC, sizeof small, reinterpret_cast<LPARAM>(small)), 10);
    EXPECT_STREQ(small, "xyz");  // too small: untouched, the size needed is returned
    char buffer[512];
    EXPECT_EQ(SendMessageA(window, CDM_GETSPEC, sizeof buffer, reinterpret_cast<LPARAM>(buffer)), 10);
    EXPECT_STREQ(buffer, "third.jpg");
    SendMessageA(window, CDM_GETFILEPATH, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    EXPECT_EQ(std::string(buffer), In("third.jpg"));
    SendMessageA(window, CDM_GETFOLDERPATH, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    EXPECT_EQ(std::string(buffer), dir);
    seen.push_back(dialog.GetFileName());
    return true;
  });
  desktop.Press("Save");
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(seen, (std::vector<std::string>{In("third.jpg")}));
  EXPECT_EQ(dialog.GetHandle(), 0u);
  EXPECT_EQ(dialog.GetFolder(), "");
  EXPECT_EQ(dialog.GetFileName(), In("third.jpg"));
}

// The subclass sees the dynamic notification; OnTypeChange comes from the inherited one, and both
// see the new type already.
class TTypeWatcher : public TSaveDialog {
 public:
  using TSaveDialog::TSaveDialog;
  std::vector<std::string> log;

 protected:
  void DoTypeChange() override {
    log.push_back("DoTypeChange " + std::to_string(GetFilterIndex()));
    TSaveDialog::DoTypeChange();
  }
};

TEST_F(FileDialogs, PickingATypeRaisesTheTypeChange) {
  TTypeWatcher dialog(nullptr);
  dialog.SetFilter(kFilter);
  dialog.OnTypeChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &dialog);
    dialog.log.push_back("OnTypeChange " + std::to_string(dialog.GetFilterIndex()));
  };
  Script(dialog, {"pick:JPEG (*.jpg;*.jpeg)", "pick:Bitmap (*.bmp)", "press:Cancel"});
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(dialog.log, (std::vector<std::string>{"DoTypeChange 2", "OnTypeChange 2", "DoTypeChange 1",
                                                  "OnTypeChange 1"}));
}

TEST_F(FileDialogs, HandlerErrorsAreShownAndTheDialogGoesOn) {
  TSaveDialog dialog(nullptr);
  dialog.SetFilter(kFilter);
  dialog.OnTypeChange = [](TObject*) { throw EInvalidOperation("No such type here"); };
  Script(dialog, {"pick:JPEG (*.jpg;*.jpeg)", "press:OK", "press:Cancel"});
  EXPECT_FALSE(dialog.Execute());
  ASSERT_EQ(desktop.Shown().size(), 2u);
  EXPECT_EQ(desktop.Shown()[1].texts, (std::vector<std::string>{"No such type here."}));
  EXPECT_TRUE(desktop.Remaining().empty());
}

TEST_F(FileDialogs, CanCloseMayRefuse) {
  TSaveDialog dialog(nullptr);
  dialog.SetInitialDir(dir);
  int asked = 0;
  dialog.OnCanClose = [&](TObject*, bool& canClose) {
    ++asked;
    EXPECT_EQ(dialog.GetFileName(), In(asked == 1 ? "draft" : "final"));
    canClose = asked > 1;
  };
  Script(dialog, {"type:draft", "press:Save", "type:final", "press:Save"});
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(dialog.GetFileName(), In("final"));
}

// ---- Checks on the chosen name ------------------------------------------------------------------

TEST_F(FileDialogs, OverwritePromptAsksAboutAnExistingFile) {
  std::ofstream(In("page.bmp")) << "x";
  for (const char* answer : {"No", "Yes"}) {
    TSaveDialog dialog(nullptr);
    dialog.SetInitialDir(dir);
    dialog.SetOptions(dialog.GetOptions() + TOpenOptions{ofOverwritePrompt});
    desktop.Type("page.bmp").Press("Save").Press(answer);
    if (std::string(answer) == "No") desktop.Press("Cancel");
    EXPECT_EQ(dialog.Execute(), std::string(answer) == "Yes");
    const ShownWindow& prompt = desktop.Shown().back();
    EXPECT_EQ(prompt.caption, "Save As");
    EXPECT_EQ(prompt.texts, (std::vector<std::string>{In("page.bmp") + " already exists.\nDo you want to replace it?"}));
    EXPECT_TRUE(desktop.Remaining().empty());
  }
}

TEST_F(FileDialogs, OpenChecksThatFileAndPathExist) {
  std::ofstream(In("there.bmp")) << "x";
  TOpenDialog dialog(nullptr);
  dialog.SetInitialDir(dir);
  dialog.SetOptions(dialog.GetOptions() + TOpenOptions{ofFileMustExist});
  Script(dialog, {"type:missing.bmp", "press:Open", "press:OK", "type:nowhere/x.bmp", "press:Open", "press:OK",
                  "type:there.bmp", "press:Open"});
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.GetFileName(), In("there.bmp"));
  ASSERT_EQ(desktop.Shown().size(), 3u);
  EXPECT_EQ(desktop.Shown()[1].texts[0], In("missing.bmp") + "\nFile not found.\nCheck the file name and try again.");
  EXPECT_EQ(desktop.Shown()[2].texts[0], In("nowhere/x.bmp") + "\nPath does not exist.\nCheck the path and try again.");
}

TEST_F(FileDialogs, ReadOnlyBoxReportsIntoOptions) {
  TOpenDialog dialog(nullptr);
  dialog.SetInitialDir(dir);
  dialog.SetOptions(TOpenOptions{});
  Script(dialog, {"press:Open as read-only", "type:a.bmp", "press:Open"});
  ASSERT_TRUE(dialog.Execute());
  EXPECT_TRUE(dialog.GetOptions().Contains(ofReadOnly));
}

// ---- Modality -----------------------------------------------------------------------------------

class FileDialogModality : public FileDialogs {
 protected:
  void SetUp() override {
    FileDialogs::SetUp();
    main = CreateWindowExA(0, "#32770", "Main", WS_POPUP | WS_CAPTION, 0, 0, 200, 100, 0, 0, 0, nullptr);
    held = CreateWindowExA(0, "#32770", "Held", WS_POPUP | WS_CAPTION, 0, 0, 200, 100, 0, 0, 0, nullptr);
    ShowWindow(main, SW_SHOW);
    ShowWindow(held, SW_SHOW);
    EnableWindow(held, FALSE);
    SetActiveWindow(main);
  }
  void TearDown() override {
    DestroyWindow(main);
    DestroyWindow(held);
    FileDialogs::TearDown();
  }
  void ExpectRestored() {
    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_FALSE(IsWindowEnabled(held));  // was disabled before: stays so
    EXPECT_EQ(GetActiveWindow(), main);
    EXPECT_EQ(VisibleWindows().size(), 2u);
  }
  HWND main = 0, held = 0;
};

TEST_F(FileDialogModality, OwnerIsDisabledWhileOpenAndRestoredOnEveryPath) {
  for (const char* end : {"Save", "Cancel"}) {
    TSaveDialog dialog(nullptr);
    dialog.SetInitialDir(dir);
    bool disabledWhileOpen = false;
    desktop.Type("x.bmp").Do("look at the main window", [&] {
      disabledWhileOpen = !IsWindowEnabled(main);
      return true;
    });
    desktop.Press(end);
    EXPECT_EQ(dialog.Execute(), std::string(end) == "Save");
    EXPECT_TRUE(disabledWhileOpen) << end;
    ExpectRestored();
  }
}

TEST_F(FileDialogModality, DesktopFailurePassesAfterTheCleanup) {
  TSaveDialog dialog(nullptr);
  dialog.SetFileName("kept.bmp");
  desktop.Do("fail", []() -> bool { throw std::runtime_error("the person walked away"); });
  EXPECT_THROW(dialog.Execute(), std::runtime_error);
  ExpectRestored();
  EXPECT_EQ(dialog.GetHandle(), 0u);
  EXPECT_EQ(dialog.GetFileName(), "kept.bmp");
}

TEST_F(FileDialogModality, QuitEndsTheDialogAndIsPostedAgain) {
  TSaveDialog dialog(nullptr);
  desktop.Do("quit", [] {
    PostQuitMessage(3);
    return true;
  });
  EXPECT_FALSE(dialog.Execute());
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, 0, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  ExpectRestored();
}

// ---- The picture dialogs ------------------------------------------------------------------------

TEST_F(FileDialogs, PicturePreviewShowsTheSizeOfALoadablePicture) {
  {
    TBitmap bitmap;
    bitmap.SetWidth(4);
    bitmap.SetHeight(3);
    bitmap.SaveToFile(In("chart.bmp"));
  }
  std::ofstream(In("broken.bmp")) << "not a bitmap";
  TSavePictureDialog dialog(nullptr);
  EXPECT_EQ(dialog.GetFilter(), "All (*.bmp)|*.bmp|Bitmaps (*.bmp)|*.bmp");
  dialog.SetInitialDir(dir);
  std::vector<std::string> previews;
  auto look = [&] {
    previews.push_back(dialog.PreviewText());
    return true;
  };
  desktop.Type("chart.bmp").Do("preview", look).Type("broken.bmp").Do("preview", look);
  desktop.Type("none.bmp").Do("preview", look).Press("Cancel");
  EXPECT_FALSE(dialog.Execute());
  EXPECT_EQ(previews, (std::vector<std::string>{"(4x3)", "(None)", "(None)"}));
  EXPECT_EQ(dialog.PreviewText(), "");
}

TEST_F(FileDialogs, PublishedPropertiesHaveTheFrameworksDefaults) {
  TSaveDialog dialog(nullptr);
  EXPECT_EQ(GetPropValue(&dialog, "Options"), "[ofHideReadOnly,ofEnableSizing]");
  EXPECT_EQ(GetPropValue(&dialog, "FilterIndex"), "1");
  for (const char* name : {"DefaultExt", "FileName", "Filter", "InitialDir", "Title", "OnTypeChange", "OnCanClose",
                           "HelpContext", "OnShow", "OnClose"})
    EXPECT_NE(GetPropInfo(&dialog, name), nullptr) << name;
  const TPropInfo& options = FindPropInfo(&dialog, "Options");
  EXPECT_TRUE(IsDefaultPropValue(&dialog, options));
}

}  // namespace
