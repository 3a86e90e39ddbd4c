// Pictures of windows: the frame and client area where AdjustWindowRectEx puts them, a control's
// change of state showing inside that control and nowhere else, PNG files, and the desktop that takes
// a picture of each new look of a window.
#include <korven/desktop.h>
#include <korven/snapshot.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "testsupport.h"

namespace kp = korven::platform;
namespace fs = std::filesystem;

namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME;

class Pictures : public korven::test::KorvenTest {
 protected:
  void TearDown() override {
    if (IsWindow(top)) DestroyWindow(top);
    KorvenTest::TearDown();
  }
  HWND Top() {
    top = CreateWindowExA(WS_EX_DLGMODALFRAME, "#32770", "Picture", kDialogStyle, 100, 50, 320, 200, 0, 0, 0, nullptr);
    return top;
  }
  HWND Child(const char* cls, const char* text, DWORD style, int x, int y, int w, int h, DWORD exStyle = 0) {
    return CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, top, 0, 0, nullptr);
  }
  // The control's rectangle in the picture: the client origin is inside the frame.
  RECT InPicture(HWND control) const {
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, kDialogStyle, FALSE, WS_EX_DLGMODALFRAME);
    const RECT r = kp::DescribeControl(control).rect;
    return RECT{r.left - frame.left, r.top - frame.top, r.right - frame.left, r.bottom - frame.top};
  }
  HWND top = 0;
};

TEST_F(Pictures, AWindowIsDrawnAtItsWindowSizeWithItsCaptionBarAndTheFaceInItsClientArea) {
  Top();
  const kp::WindowPicture p = kp::RenderWindow(top);
  ASSERT_EQ(p.width, 320);
  ASSERT_EQ(p.height, 200);
  RECT client{};
  GetClientRect(top, &client);
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, kDialogStyle, FALSE, WS_EX_DLGMODALFRAME);
  EXPECT_EQ(p.width, client.right - frame.left + frame.right);
  EXPECT_EQ(p.height, client.bottom - frame.top + frame.bottom);
  EXPECT_EQ(p.At(-frame.left + 10, -frame.top + 10), 0xC8D0D4u);  // the dialog's face
  const uint32_t caption = p.At(5, 5);  // the caption bar's dark blue end
  EXPECT_GT((caption >> 16) & 0xFF, (caption & 0xFF) + 64) << std::hex << caption;
  EXPECT_THROW(kp::RenderWindow(static_cast<HWND>(0x1234)), std::invalid_argument);
}

struct Change {
  const char* name;
  const char* cls;
  const char* text;
  DWORD style;
  std::function<void(HWND)> prepare;  // before the first picture
  std::function<void(HWND)> change;   // between the pictures
};

void AddItems(HWND combo) {
  for (const char* item : {"Black & White", "Gray", "RGB"}) SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
}

void AddTabs(HWND tabs) {
  for (const char* text : {"基本設定", "テスト"}) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(text);
    SendMessageA(tabs, TCM_INSERTITEMA, 99, reinterpret_cast<LPARAM>(&item));
  }
}

class ControlChanges : public Pictures, public ::testing::WithParamInterface<Change> {};

// Each change of state shows in the picture, inside the control's rectangle and nowhere else.
TEST_P(ControlChanges, ShowInsideTheControlOnly) {
  const Change& c = GetParam();
  Top();
  HWND control = Child(c.cls, c.text, c.style, 20, 30, 160, 40);
  Child("BUTTON", "OK", BS_DEFPUSHBUTTON, 200, 120, 80, 24);
  if (c.prepare) c.prepare(control);
  const kp::WindowPicture before = kp::RenderWindow(top);
  c.change(control);
  const kp::WindowPicture after = kp::RenderWindow(top);
  ASSERT_EQ(before.width, after.width);
  ASSERT_EQ(before.height, after.height);
  const RECT r = InPicture(control);
  int inside = 0, outside = 0;
  for (int y = 0; y < before.height; ++y)
    for (int x = 0; x < before.width; ++x)
      if (before.At(x, y) != after.At(x, y)) ++(x >= r.left && x < r.right && y >= r.top && y < r.bottom ? inside : outside);
  EXPECT_GT(inside, 0);
  EXPECT_EQ(outside, 0);
}

const Change kChanges[] = {
    {"ButtonDisabled", "BUTTON", "&Scan", BS_PUSHBUTTON, nullptr, [](HWND h) { EnableWindow(h, FALSE); }},
    {"CheckBoxChecked", "BUTTON", "Show &UI", BS_AUTOCHECKBOX, nullptr,
     [](HWND h) { SendMessageA(h, BM_SETCHECK, BST_CHECKED, 0); }},
    {"EditTyped", "EDIT", "", ES_AUTOHSCROLL, nullptr, [](HWND h) { SetWindowTextA(h, "25.4"); }},
    {"ComboItemChosen", "COMBOBOX", "", CBS_DROPDOWNLIST, AddItems, [](HWND h) { SendMessageA(h, CB_SETCURSEL, 2, 0); }},
    {"LabelInJapanese", "STATIC", "", SS_LEFT, nullptr, [](HWND h) { SetWindowTextA(h, "解像度(&R)"); }},
    {"SliderMoved", TRACKBAR_CLASSA, "", TBS_AUTOTICKS, nullptr, [](HWND h) { SendMessageA(h, TBM_SETPOS, TRUE, 80); }},
    {"SliderHidden", TRACKBAR_CLASSA, "", TBS_AUTOTICKS, nullptr,
     [](HWND h) { SetWindowLongPtrA(h, GWL_STYLE, GetWindowLongPtrA(h, GWL_STYLE) | TBS_NOTHUMB); }},
    {"TabChosen", WC_TABCONTROLA, "", 0, AddTabs, [](HWND h) { SendMessageA(h, TCM_SETCURSEL, 1, 0); }},
    {"PanelLowered", "STATIC", "", 0, nullptr,
     [](HWND h) {
       kp::WindowLook look;
       look.frame = kp::FrameShape::Box;
       kp::SetWindowLook(h, look);
     }},
    {"ImageShown", "STATIC", "", SS_BITMAP, nullptr,
     [](HWND h) {
       auto image = std::make_shared<kp::WindowImage>();
       image->width = 4;
       image->height = 4;
       image->pixels.assign(16, 0x0000FF);  // red
       image->stretch = true;
       kp::SetWindowImage(h, image);
     }},
};
INSTANTIATE_TEST_SUITE_P(States, ControlChanges, ::testing::ValuesIn(kChanges),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Pictures, AStretchedImageFillsItsControlAndAHiddenControlIsNotDrawn) {
  Top();
  HWND image = Child("STATIC", "", SS_BITMAP, 20, 30, 50, 40);
  auto pixels = std::make_shared<kp::WindowImage>();
  pixels->width = 2;
  pixels->height = 2;
  pixels->pixels.assign(4, 0x0000FF);
  pixels->stretch = true;
  kp::SetWindowImage(image, pixels);
  const RECT r = InPicture(image);
  kp::WindowPicture p = kp::RenderWindow(top);
  EXPECT_EQ(p.At(r.left, r.top), 0x0000FFu);
  EXPECT_EQ(p.At(r.right - 1, r.bottom - 1), 0x0000FFu);
  ShowWindow(image, SW_HIDE);
  p = kp::RenderWindow(top);
  EXPECT_EQ(p.At(r.left, r.top), 0xC8D0D4u);
}

class PngFiles : public Pictures {
 protected:
  void TearDown() override {
    fs::remove_all(dir);
    Pictures::TearDown();
  }
  const fs::path dir = korven::test::MakeTempDir("korven-pictures");
};

TEST_F(PngFiles, APictureIsWrittenAsAPngOfItsSizeAndAFolderThatIsMissingIsNamedWithTheCause) {
  Top();
  const std::string file = (dir / "window.png").string();
  kp::RenderWindowToPng(top, file);
  std::ifstream in(file, std::ios::binary);
  std::string head(24, '\0');
  ASSERT_TRUE(in.read(head.data(), 24));
  EXPECT_EQ(head.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  auto be32 = [&](size_t at) {
    return (static_cast<unsigned char>(head[at]) << 24) | (static_cast<unsigned char>(head[at + 1]) << 16) |
           (static_cast<unsigned char>(head[at + 2]) << 8) | static_cast<unsigned char>(head[at + 3]);
  };
  EXPECT_EQ(be32(16), 320);  // IHDR: width, height
  EXPECT_EQ(be32(20), 200);
  EXPECT_FALSE(fs::exists(file + ".part"));

  const std::string missing = (dir / "no-such-folder" / "window.png").string();
  try {
    kp::RenderWindowToPng(top, missing);
    FAIL() << "written into a missing folder";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
  }
}

TEST_F(PngFiles, TheSnapshotDesktopKeepsEachNewLookOfAWindowOnceAndLetsTheOtherDesktopAct) {
  Top();
  Child("BUTTON", "Show &UI", BS_AUTOCHECKBOX, 20, 30, 160, 20);
  Child("BUTTON", "OK", BS_DEFPUSHBUTTON, 200, 120, 80, 24);
  kp::ScriptedDesktop script;
  bool looked = false;
  script.Do("wait once", [&] { return looked = true; });
  script.Check("Show UI");
  script.Do("close", [&] {
    DestroyWindow(top);
    PostQuitMessage(0);
    return true;
  });
  kp::SnapshotDesktop snapshots(script, dir.string());
  kp::ScopedDesktop scope(snapshots);
  ShowWindow(top, SW_SHOW);
  MSG msg;
  while (GetMessageA(&msg, 0, 0, 0) > 0) DispatchMessageA(&msg);
  EXPECT_TRUE(looked);
  // The first look, then the box checked; the wait in between showed nothing new.
  ASSERT_EQ(snapshots.Written().size(), 2u);
  EXPECT_EQ(fs::path(snapshots.Written()[0]).filename(), "001-Picture.png");
  EXPECT_EQ(fs::path(snapshots.Written()[1]).filename(), "002-Picture.png");
  for (const auto& f : snapshots.Written()) EXPECT_TRUE(fs::exists(f)) << f;
  EXPECT_TRUE(script.Remaining().empty());
}

}  // namespace
