// The built-in controls beyond buttons and lists: frames and client areas, typing into edit fields,
// the track bar and the tab control, and how the desktop finds a control by what a person calls it.
#include <korven/desktop.h>

#include <string>
#include <vector>

#include "testsupport.h"

namespace kp = korven::platform;

namespace {

class BuiltInControls : public korven::test::KorvenTest {
 protected:
  void TearDown() override {
    if (IsWindow(top)) DestroyWindow(top);
    KorvenTest::TearDown();
  }
  HWND Top(DWORD style = WS_POPUP | WS_CAPTION, DWORD exStyle = WS_EX_DLGMODALFRAME) {
    top = CreateWindowExA(exStyle, "#32770", "Panel", style, 100, 50, 300, 200, 0, 0, 0, nullptr);
    return top;
  }
  HWND Child(const char* cls, const char* text, DWORD style, int id, int x = 0, int y = 0) {
    return CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, 100, 20, top, static_cast<HMENU>(id), 0,
                           nullptr);
  }
  HWND top = 0;
};

struct FrameCase {
  const char* name;
  DWORD style, exStyle;
  RECT insets;  // left, top, right, bottom
};

class Frames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(Frames, AdjustWindowRectExAddsTheClassicFrame) {
  const FrameCase& c = GetParam();
  RECT r{10, 20, 110, 220};
  ASSERT_TRUE(AdjustWindowRectEx(&r, c.style, FALSE, c.exStyle));
  EXPECT_EQ(10 - r.left, c.insets.left);
  EXPECT_EQ(20 - r.top, c.insets.top);
  EXPECT_EQ(r.right - 110, c.insets.right);
  EXPECT_EQ(r.bottom - 220, c.insets.bottom);
}

const FrameCase kFrames[] = {
    {"Dialog", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME, WS_EX_DLGMODALFRAME, {3, 22, 3, 3}},
    {"Sizeable", WS_OVERLAPPEDWINDOW, 0, {4, 23, 4, 4}},
    {"ToolWindow", WS_CAPTION | WS_SYSMENU | WS_BORDER, WS_EX_TOOLWINDOW, {3, 19, 3, 3}},
    {"Popup", WS_POPUP, 0, {0, 0, 0, 0}},
    {"ChildWithBorder", WS_CHILD | WS_BORDER, 0, {1, 1, 1, 1}},
    {"ClientEdge", WS_CHILD, WS_EX_CLIENTEDGE, {2, 2, 2, 2}},
};
INSTANTIATE_TEST_SUITE_P(Styles, Frames, ::testing::ValuesIn(kFrames),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BuiltInControls, ChildrenSitInTheClientAreaInsideTheFrame) {
  Top();
  HWND child = Child("STATIC", "x", 0, 1, 10, 5);
  RECT client{}, window{}, placed{};
  GetClientRect(top, &client);
  EXPECT_EQ(client.right, 300 - 6);
  EXPECT_EQ(client.bottom, 200 - 25);
  GetWindowRect(top, &window);
  EXPECT_EQ(window.left, 100);
  GetWindowRect(child, &placed);
  EXPECT_EQ(placed.left, 100 + 3 + 10);
  EXPECT_EQ(placed.top, 50 + 22 + 5);
  POINT p{0, 0};
  ScreenToClient(child, &p);
  EXPECT_EQ(p.x, -(100 + 3 + 10));
}

TEST_F(BuiltInControls, TypingReplacesTheSelectionAndBackspaceTakesAWholeCharacter) {
  Top();
  HWND edit = Child("EDIT", "abc", 0, 1);
  SendMessageA(edit, EM_SETSEL, 1, 2);  // "b"
  SendMessageA(edit, WM_CHAR, 'X', 0);
  EXPECT_EQ(kp::ReadText(top), "aXc");
  SendMessageA(edit, EM_SETSEL, 0, -1);
  for (char ch : std::string("\xE6\x97\xA5\xE6\x9C\xAC")) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(ch), 0);
  SendMessageA(edit, WM_CHAR, '\b', 0);
  EXPECT_EQ(kp::ReadText(top), "\xE6\x97\xA5");  // one character left, not a broken one
  SendMessageA(edit, EM_LIMITTEXT, 4, 0);
  SendMessageA(edit, EM_SETSEL, 0, -1);
  for (char ch : std::string("123456")) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(ch), 0);
  EXPECT_EQ(kp::ReadText(top), "1234");
  SendMessageA(edit, EM_SETREADONLY, TRUE, 0);
  SendMessageA(edit, WM_CHAR, '\b', 0);
  EXPECT_EQ(kp::ReadText(top), "1234");
  // A drop-down list takes no typing; an editable combo box does.
  HWND list = Child("COMBOBOX", "", CBS_DROPDOWNLIST, 2);
  HWND combo = Child("COMBOBOX", "", CBS_DROPDOWN, 3);
  for (HWND h : {list, combo}) SendMessageA(h, WM_CHAR, '7', 0);
  EXPECT_EQ(kp::ReadText(top, 2), "");
  EXPECT_EQ(kp::ReadText(top, 3), "7");
}

// Records what a parent hears from its controls.
std::vector<std::string> g_heard;
LRESULT CALLBACK ListeningProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_HSCROLL) {
    g_heard.push_back("scroll:" + std::to_string(LOWORD(wParam)) + "@" + std::to_string(static_cast<short>(HIWORD(wParam))));
    return 0;
  }
  if (msg == WM_NOTIFY) {
    const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
    g_heard.push_back(hdr->code == TCN_SELCHANGING ? "changing" : hdr->code == TCN_SELCHANGE ? "change" : "other");
    return hdr->code == TCN_SELCHANGING && g_heard.size() == 1;  // refuses the first change
  }
  return DefWindowProcA(h, msg, wParam, lParam);
}

TEST_F(BuiltInControls, ATrackBarKeepsItsPositionInRangeAndTellsItsParent) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = ListeningProc;
  wc.lpszClassName = "KorvenListening";
  RegisterClassA(&wc);
  top = CreateWindowExA(0, "KorvenListening", "Bars", WS_POPUP, 0, 0, 300, 200, 0, 0, 0, nullptr);
  HWND bar = Child(TRACKBAR_CLASSA, "", TBS_BOTH | TBS_NOTICKS, 1);
  kp::SetAutomationId(bar, "BarContrast");
  EXPECT_EQ(SendMessageA(bar, TBM_GETRANGEMAX, 0, 0), 100);  // Win32's default range
  SendMessageA(bar, TBM_SETPOS, TRUE, 40);
  SendMessageA(bar, TBM_SETRANGEMAX, TRUE, 30);
  EXPECT_EQ(SendMessageA(bar, TBM_GETPOS, 0, 0), 30);
  SendMessageA(bar, TBM_SETRANGE, TRUE, MAKELPARAM(-10, 10));
  EXPECT_EQ(SendMessageA(bar, TBM_GETPOS, 0, 0), 10);
  SendMessageA(bar, TBM_SETLINESIZE, 0, 3);
  g_heard.clear();
  ShowWindow(top, SW_SHOW);
  EXPECT_TRUE(kp::Slide(top, "BarContrast", -99));
  EXPECT_TRUE(kp::PressKey(top, VK_RIGHT));  // the slider has the focus now
  EXPECT_EQ(g_heard, (std::vector<std::string>{"scroll:4@-10", "scroll:8@0", "scroll:1@-7", "scroll:8@0"}));
  const kp::ShownControl read = kp::ReadControl(top, "BarContrast");
  EXPECT_EQ(read.position, -7);
  EXPECT_TRUE(read.focused);
  DestroyWindow(top);
  UnregisterClassA("KorvenListening", 0);
}

TEST_F(BuiltInControls, ATabControlAsksItsParentBeforeChangingTabs) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = ListeningProc;
  wc.lpszClassName = "KorvenListening";
  RegisterClassA(&wc);
  top = CreateWindowExA(0, "KorvenListening", "Tabs", WS_POPUP, 0, 0, 300, 200, 0, 0, 0, nullptr);
  HWND tabs = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | TCS_MULTILINE, 0, 0, 120, 100, top,
                              static_cast<HMENU>(1), 0, nullptr);
  EXPECT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), -1);
  for (const char* text : {"&General", "Paper", "Scanner"}) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(text);
    SendMessageA(tabs, TCM_INSERTITEMA, 99, reinterpret_cast<LPARAM>(&item));
  }
  EXPECT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), 0);  // the first tab as soon as there is one
  EXPECT_EQ(SendMessageA(tabs, TCM_GETROWCOUNT, 0, 0), 2);  // 120 pixels hold two of them a row
  RECT r{0, 0, 120, 100};
  SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&r));
  EXPECT_EQ(r.top, 2 + 2 * 19 + 2);  // two rows of the default height, 11 + 8
  SendMessageA(tabs, TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&r));
  EXPECT_EQ(r.top, 0);
  g_heard.clear();
  ShowWindow(top, SW_SHOW);
  EXPECT_TRUE(kp::ChooseTab(top, "Scanner"));  // refused
  EXPECT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), 0);
  EXPECT_TRUE(kp::ChooseTab(top, "scanner"));
  EXPECT_EQ(SendMessageA(tabs, TCM_GETCURSEL, 0, 0), 2);
  EXPECT_FALSE(kp::ChooseTab(top, "Feeder"));
  EXPECT_EQ(g_heard, (std::vector<std::string>{"changing", "changing", "change"}));
  DestroyWindow(top);
  UnregisterClassA("KorvenListening", 0);
}

TEST_F(BuiltInControls, TheDesktopFindsAControlByItsIdItsCaptionOrItsLabel) {
  Top();
  HWND named = Child("STATIC", "&Left:", 0, 1);
  HWND left = Child("EDIT", "1", WS_TABSTOP, 2);
  HWND label = Child("STATIC", "&Top:", 0, 3);
  HWND other = Child("EDIT", "2", WS_TABSTOP, 4);
  HWND top2 = Child("EDIT", "3", WS_TABSTOP, 5);
  HWND check = Child("BUTTON", "Show&UI", BS_AUTOCHECKBOX | WS_TABSTOP, 6);
  kp::SetLabelFor(label, top2);  // this label names a control that does not follow it
  kp::SetAutomationId(other, "EditOther");
  ShowWindow(top, SW_SHOW);
  EXPECT_EQ(kp::FindControlWindow(top, "Left"), left);  // the label just before it
  EXPECT_EQ(kp::FindControlWindow(top, "top:"), top2);
  EXPECT_EQ(kp::FindControlWindow(top, "editother"), other);
  EXPECT_EQ(kp::FindControlWindow(top, "ShowUI"), check);
  EXPECT_EQ(kp::FindControlWindow(top, "Nothing"), 0u);
  EXPECT_EQ(kp::ReadControl(top, "Left").label, "&Left:");
  (void)named;

  // Alt+key as the dialog manager does it: a label focuses what it names, a check box is clicked.
  EXPECT_TRUE(kp::PressAccelerator(top, 't'));
  EXPECT_EQ(GetFocus(), top2);
  EXPECT_TRUE(kp::PressAccelerator(top, 'L'));
  EXPECT_EQ(GetFocus(), left);
  EXPECT_TRUE(kp::PressAccelerator(top, 'u'));
  EXPECT_EQ(SendMessageA(check, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_FALSE(kp::PressAccelerator(top, 'z'));
  // Tab walks the tab stops in creation order; Shift+Tab back.
  EXPECT_TRUE(kp::FocusOn(top, "Left"));
  EXPECT_TRUE(kp::PressKey(top, VK_TAB));
  EXPECT_EQ(GetFocus(), other);
  EXPECT_TRUE(kp::PressKey(top, VK_TAB, true));
  EXPECT_EQ(GetFocus(), left);
  EXPECT_EQ(GetKeyState(VK_SHIFT), 0);  // released again
}

}  // namespace
