// The terminal desktop through a pseudo-terminal: what a person sees of a message box and a dialog
// with a list, and the keys that answer them (arrows, digits, Enter, Esc, t to type).
#include <korven/terminal_desktop.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <string>

#include "testsupport.h"

using namespace korven::platform;

namespace {

class TerminalDesktopTest : public korven::test::KorvenTest {
 protected:
  void SetUp() override {
    KorvenTest::SetUp();
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
  }
  void TearDown() override {
    close(master_);
    close(slave_);
    KorvenTest::TearDown();
  }
  // Keys the person types, before the program waits for them.
  void Keys(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }
  // Everything written to the terminal so far.
  std::string Screen() {
    std::string out;
    char buf[4096];
    pollfd p{master_, POLLIN, 0};
    while (poll(&p, 1, 0) > 0) {
      ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, size_t(n));
    }
    return out;
  }
  int master_ = -1, slave_ = -1;
};

TEST_F(TerminalDesktopTest, MessageBoxIsShownAndAnsweredWithArrowsEnterAndEsc) {
  TerminalDesktop desktop(slave_, slave_);
  ScopedDesktop installed(desktop);
  Keys("\x1b[C\r");  // Right: from the default "Yes" to "No"; Enter presses it
  EXPECT_EQ(MessageBoxA(0, "Replace the file?", "Scan", MB_YESNOCANCEL), IDNO);
  std::string screen = Screen();
  EXPECT_NE(screen.find("== Scan =="), std::string::npos) << screen;
  EXPECT_NE(screen.find("Replace the file?"), std::string::npos) << screen;
  EXPECT_NE(screen.find(">[Yes]<"), std::string::npos) << screen;  // the default is marked first
  EXPECT_NE(screen.find(">[No]<"), std::string::npos) << screen;
  EXPECT_NE(screen.find("-> No"), std::string::npos) << screen;

  Keys("\x1b");  // a lone Esc is Cancel
  EXPECT_EQ(MessageBoxA(0, "Go on?", "Scan", MB_OKCANCEL), IDCANCEL);
  Keys("\r");  // Enter presses the default button
  EXPECT_EQ(MessageBoxA(0, "Go on?", "Scan", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
  Keys("\r");
  EXPECT_EQ(MessageBoxA(0, "Done.", "Scan", MB_OK), IDOK);
}

// A dialog with a list, an edit box and buttons, answered by picking with a digit and an arrow,
// typing a line, and pressing the default button.
TEST_F(TerminalDesktopTest, ListsAndBoxesAreOperatedWithDigitsArrowsAndTyping) {
  HWND dialog = CreateWindowExA(0, "#32770", "Choose", WS_POPUP, 0, 0, 300, 200, 0, 0, 0, nullptr);
  ASSERT_TRUE(dialog);
  HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, dialog, HMENU(10), 0, nullptr);
  for (const char* item : {"Flatbed", "Feeder", "Film"}) SendMessageA(list, LB_ADDSTRING, 0, LPARAM(item));
  HWND edit = CreateWindowExA(0, "EDIT", "old", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, dialog, HMENU(11), 0, nullptr);
  CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 0, 0, 50, 20, dialog, HMENU(IDOK), 0, nullptr);
  CreateWindowExA(0, "BUTTON", "Cancel", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, dialog, HMENU(IDCANCEL), 0, nullptr);
  ASSERT_TRUE(edit);
  TerminalDesktop desktop(slave_, slave_);
  ScopedDesktop installed(desktop);
  ShowWindow(dialog, SW_SHOW);
  Keys("3");  // the third item
  ASSERT_TRUE(desktop.Idle());
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 2);
  Keys("\x1b[A");  // Up: the second
  ASSERT_TRUE(desktop.Idle());
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 1);
  Keys("tnew name\r");
  ASSERT_TRUE(desktop.Idle());
  EXPECT_EQ(ReadText(dialog, 11), "new name");
  std::string screen = Screen();
  EXPECT_NE(screen.find("== Choose =="), std::string::npos) << screen;
  EXPECT_NE(screen.find("1) Flatbed"), std::string::npos) << screen;
  EXPECT_NE(screen.find("2) Feeder   <- selected"), std::string::npos) << screen;
  EXPECT_NE(screen.find("[old]"), std::string::npos) << screen;
  EXPECT_FALSE(desktop.Idle());  // no key: nothing done, the wait goes on
  DestroyWindow(dialog);
}

}  // namespace
