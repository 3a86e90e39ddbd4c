// Windows, classes, messages, queues, timers, focus and the built-in controls.
#include <korven/desktop.h>
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "testsupport.h"

using korven::test::KorvenTest;
namespace kp = korven::platform;

namespace {

struct Seen {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Seen> g_seen;
LRESULT g_createAnswer = 0;

// Records every message except the chatter of creation, then behaves like DefWindowProcA.
LRESULT CALLBACK RecordingProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  g_seen.push_back({h, msg, wp, lp});
  if (msg == WM_CREATE) return g_createAnswer;
  return DefWindowProcA(h, msg, wp, lp);
}

std::vector<Seen> SeenOf(UINT msg) {
  std::vector<Seen> out;
  for (auto& s : g_seen)
    if (s.msg == msg) out.push_back(s);
  return out;
}

class Windows : public KorvenTest {
 protected:
  void SetUp() override {
    KorvenTest::SetUp();
    g_seen.clear();
    g_createAnswer = 0;
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "KorvenRecorder";
    wc.cbWndExtra = sizeof(LONG_PTR);
    ASSERT_NE(RegisterClassA(&wc), 0);
  }
  void TearDown() override {
    EXPECT_TRUE(UnregisterClassA("KorvenRecorder", 0));
    MSG m;
    while (PeekMessageA(&m, 0, 0, 0, PM_REMOVE)) {
    }
    KorvenTest::TearDown();
  }
  HWND Top(const char* caption = "top", DWORD style = WS_OVERLAPPEDWINDOW, HWND owner = 0) {
    return CreateWindowExA(0, "KorvenRecorder", caption, style, 0, 0, 100, 100, owner, 0, 0, nullptr);
  }
  HWND Child(HWND parent, const char* cls, const char* text, int id, DWORD style = 0) {
    return CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent, static_cast<HMENU>(id), 0,
                           nullptr);
  }
};

TEST_F(Windows, EnableWindowReportsWhetherTheWindowWasDisabled) {
  HWND h = Top();
  ASSERT_NE(h, 0u);
  struct Case {
    BOOL enable;
    bool expectWasDisabled;
    bool expectEnabledAfter;
  } cases[] = {{FALSE, false, false}, {FALSE, true, false}, {TRUE, true, true}, {TRUE, false, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(EnableWindow(h, c.enable) != 0, c.expectWasDisabled);
    EXPECT_EQ(IsWindowEnabled(h) != 0, c.expectEnabledAfter);
  }
  // WM_ENABLE only when the state changed.
  EXPECT_EQ(SeenOf(WM_ENABLE).size(), 2u);
  EXPECT_FALSE(EnableWindow(0x2000001u, FALSE));  // not a window
  DestroyWindow(h);
}

TEST_F(Windows, CreationSendsNcCreateThenCreateAndCanBeRefused) {
  HWND h = Top("caption");
  ASSERT_NE(h, 0u);
  ASSERT_GE(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[0].msg, UINT(WM_NCCREATE));
  EXPECT_EQ(g_seen[1].msg, UINT(WM_CREATE));
  char text[32];
  EXPECT_EQ(GetWindowTextA(h, text, sizeof text), 7);
  EXPECT_STREQ(text, "caption");
  EXPECT_EQ(GetWindowTextA(h, text, 4), 3);  // truncated, terminated
  EXPECT_STREQ(text, "cap");
  DestroyWindow(h);

  size_t before = kp::LiveWindowCount();
  g_createAnswer = -1;
  EXPECT_EQ(Top(), 0u);
  EXPECT_EQ(kp::LiveWindowCount(), before);
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, 0, 0, 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
  EXPECT_EQ(CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 1, 1, 0, 0, 0, nullptr), 0u);  // a child needs a parent
}

TEST_F(Windows, DestroyTakesChildrenOwnedWindowsTimersAndQueuedMessages) {
  HWND parent = Top("parent");
  HWND child = CreateWindowExA(0, "KorvenRecorder", "child", WS_CHILD, 0, 0, 1, 1, parent, 0, 0, nullptr);
  HWND grandchild = CreateWindowExA(0, "KorvenRecorder", "gc", WS_CHILD, 0, 0, 1, 1, child, 0, 0, nullptr);
  HWND owned = Top("owned", WS_POPUP, child);  // owned by the child's top-level window, the parent
  ASSERT_TRUE(parent && child && grandchild && owned);
  EXPECT_EQ(GetWindow(owned, GW_OWNER), parent);
  ASSERT_NE(SetTimer(child, 5, 1000, nullptr), 0u);
  PostMessageA(grandchild, WM_APP, 1, 2);
  PostMessageA(0, WM_APP, 3, 4);  // a thread message stays
  g_seen.clear();

  EXPECT_TRUE(DestroyWindow(parent));
  for (HWND h : {parent, child, grandchild, owned}) EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(kp::LiveTimerCount(), 0u);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, 0, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.hwnd, 0u);
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&m, 0, 0, 0, PM_REMOVE));

  // WM_DESTROY goes down the tree parent first; WM_NCDESTROY comes back up, parent last.
  std::vector<std::pair<HWND, UINT>> order;
  for (auto& s : g_seen)
    if (s.msg == WM_DESTROY || s.msg == WM_NCDESTROY) order.emplace_back(s.hwnd, s.msg);
  std::vector<std::pair<HWND, UINT>> expected = {
      {owned, WM_DESTROY},      {owned, WM_NCDESTROY},      {parent, WM_DESTROY},  {child, WM_DESTROY},
      {grandchild, WM_DESTROY}, {grandchild, WM_NCDESTROY}, {child, WM_NCDESTROY}, {parent, WM_NCDESTROY}};
  EXPECT_EQ(order, expected);
  EXPECT_FALSE(DestroyWindow(parent));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Windows, ParentOwnerAndLongs) {
  HWND top = Top();
  HWND child = Child(top, "STATIC", "s", 42);
  HWND popup = Top("popup", WS_POPUP, top);
  HWND overlapped = Top("overlapped", WS_OVERLAPPEDWINDOW, top);
  EXPECT_EQ(GetParent(child), top);
  EXPECT_EQ(GetParent(popup), top);      // owner of a popup
  EXPECT_EQ(GetParent(overlapped), 0u);  // Win32 hides the owner of an overlapped window here
  EXPECT_EQ(GetWindow(overlapped, GW_OWNER), top);
  EXPECT_EQ(GetDlgItem(top, 42), child);
  EXPECT_EQ(GetDlgCtrlID(child), 42);
  EXPECT_TRUE(IsChild(top, child));
  EXPECT_EQ(SetWindowLongPtrA(top, GWLP_USERDATA, 1234), 0);
  EXPECT_EQ(GetWindowLongPtrA(top, GWLP_USERDATA), 1234);
  EXPECT_EQ(SetWindowLongPtrA(top, 0, 77), 0);  // the class's extra bytes
  EXPECT_EQ(GetWindowLongPtrA(top, 0), 77);
  EXPECT_EQ(GetWindowLongPtrA(top, 8), 0);  // past the extra bytes
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_INDEX));
  char cls[16];
  EXPECT_EQ(GetClassNameA(child, cls, sizeof cls), 6);
  EXPECT_STREQ(cls, "STATIC");
  DestroyWindow(top);
  EXPECT_FALSE(IsWindow(popup));
  EXPECT_FALSE(IsWindow(overlapped));
}

TEST_F(Windows, ClassesRegisterOnceAndCompareWithoutCase) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "korvenrecorder";
  EXPECT_EQ(RegisterClassA(&wc), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));
  WNDCLASSA info{};
  EXPECT_TRUE(GetClassInfoA(0, "button", &info));
  EXPECT_NE(info.lpfnWndProc, nullptr);
  HWND h = Top();
  EXPECT_FALSE(UnregisterClassA("KorvenRecorder", 0));  // still has a window
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_HAS_WINDOWS));
  DestroyWindow(h);
}

TEST_F(Windows, InvalidWindowsAreRefused) {
  HWND gone = Top();
  DestroyWindow(gone);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);
  for (HWND bad : {HWND(0), gone, HWND(block), HWND(0xFFFFFFFFu)}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(IsWindow(bad));
    EXPECT_EQ(SendMessageA(bad, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("x")), 0);
    EXPECT_FALSE(ShowWindow(bad, SW_SHOW));
    EXPECT_EQ(SetTimer(bad ? bad : HWND(1), 1, 10, nullptr), 0u);
  }
  EXPECT_FALSE(PostMessageA(gone, WM_APP, 0, 0));
  GlobalFree(block);
}

TEST_F(Windows, GetMessageReturnsZeroOnQuitAndConsumesIt) {
  HWND h = Top();
  PostMessageA(h, WM_APP, 1, 0);
  PostQuitMessage(7);
  MSG m;
  EXPECT_EQ(GetMessageA(&m, 0, 0, 0), TRUE);  // posted messages come before WM_QUIT
  EXPECT_EQ(m.message, UINT(WM_APP));
  EXPECT_EQ(GetMessageA(&m, 0, 0, 0), FALSE);
  EXPECT_EQ(m.message, UINT(WM_QUIT));
  EXPECT_EQ(m.wParam, 7u);
  EXPECT_FALSE(PeekMessageA(&m, 0, 0, 0, PM_REMOVE));  // consumed

  // WM_QUIT passes any filter; an invalid window filter is an error.
  PostQuitMessage(1);
  EXPECT_EQ(GetMessageA(&m, h, WM_USER, WM_USER), FALSE);
  EXPECT_EQ(GetMessageA(&m, 0x2000123u, 0, 0), -1);
  DestroyWindow(h);
}

TEST_F(Windows, PeekReturnsAtOnceAndFiltersWithoutWaiting) {
  // The scripted desktop must not even be asked: PeekMessageA never waits.
  kp::ScriptedDesktop desktop;
  bool asked = false;
  desktop.Do("must not run", [&] { return asked = true; });
  kp::ScopedDesktop scoped(desktop);
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, 0, 0, 0, PM_REMOVE));
  EXPECT_FALSE(asked);

  HWND a = Top("a"), b = Top("b");
  PostMessageA(a, WM_USER + 1, 0, 0);
  PostMessageA(b, WM_USER + 2, 0, 0);
  PostMessageA(a, WM_USER + 3, 0, 0);
  EXPECT_TRUE(PeekMessageA(&m, b, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, UINT(WM_USER + 2));
  EXPECT_TRUE(PeekMessageA(&m, 0, WM_USER + 3, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(m.hwnd, a);
  std::vector<UINT> rest;
  while (PeekMessageA(&m, 0, 0, 0, PM_REMOVE)) rest.push_back(m.message);
  EXPECT_EQ(rest, (std::vector<UINT>{WM_USER + 1, WM_USER + 2}));
  DestroyWindow(a);
  DestroyWindow(b);
}

TEST_F(Windows, PostFromAnotherThreadWakesGetMessage) {
  HWND h = Top();
  kp::ScriptedDesktop desktop;
  desktop.SetBlockLimitMs(20000);  // a lost wake-up fails the test instead of hanging it
  std::thread poster;
  // When GetMessageA first finds nothing, start a thread that posts while this one waits.
  desktop.Do("start the poster", [&] {
    if (!poster.joinable())
      poster = std::thread([h] {
        Sleep(20);
        PostMessageA(h, WM_APP + 5, 55, 0);
      });
    return false;
  });
  kp::ScopedDesktop scoped(desktop);
  MSG m;
  EXPECT_EQ(GetMessageA(&m, 0, 0, 0), TRUE);
  poster.join();
  EXPECT_EQ(m.hwnd, h);
  EXPECT_EQ(m.message, UINT(WM_APP + 5));
  EXPECT_EQ(m.wParam, 55u);
  DestroyWindow(h);
}

TEST_F(Windows, AWorkerWaitingForPostsIsNoConcernOfTheDesktop) {
  // A scripted desktop that would fail any waiting GUI thread at once.
  kp::ScriptedDesktop desktop;
  desktop.SetBlockLimitMs(1);
  kp::ScopedDesktop scoped(desktop);
  std::atomic<DWORD> workerId{0};
  MSG got{};
  std::thread worker([&] {
    MSG m;
    PeekMessageA(&m, 0, 0, 0, PM_NOREMOVE);  // gives the thread its queue
    workerId = GetCurrentThreadId();
    GetMessageA(&got, 0, 0, 0);  // no window, not the desktop's thread: waits without the desktop
  });
  while (!workerId) Sleep(1);
  Sleep(30);
  EXPECT_TRUE(PostThreadMessageA(workerId, WM_APP + 9, 0, 0));
  worker.join();
  EXPECT_EQ(got.message, UINT(WM_APP + 9));
  EXPECT_FALSE(PostThreadMessageA(workerId, WM_APP, 0, 0));  // the queue ended with its thread
}

std::vector<UINT_PTR> g_fired;
void CALLBACK RecordTimer(HWND h, UINT, UINT_PTR id, DWORD) {
  g_fired.push_back(1000 + id);
  KillTimer(h, id);
}

TEST_F(Windows, TimersFireInOrderOfDueTime) {
  HWND h = Top();
  g_fired.clear();
  ASSERT_EQ(SetTimer(h, 1, 80, nullptr), 1u);
  ASSERT_EQ(SetTimer(h, 2, 20, nullptr), 2u);
  ASSERT_EQ(SetTimer(h, 3, 40, nullptr), 3u);
  UINT_PTR threadTimer = SetTimer(0, 0, 60, RecordTimer);
  ASSERT_NE(threadTimer, 0u);
  EXPECT_EQ(kp::LiveTimerCount(), 4u);
  MSG m;
  while (g_fired.size() < 4 && GetMessageA(&m, 0, 0, 0) > 0) {
    if (m.message != WM_TIMER) continue;
    if (m.lParam) {
      DispatchMessageA(&m);  // calls RecordTimer
    } else {
      g_fired.push_back(m.wParam);
      KillTimer(h, m.wParam);
    }
  }
  EXPECT_EQ(g_fired, (std::vector<UINT_PTR>{2, 3, 1000 + threadTimer, 1}));
  EXPECT_EQ(kp::LiveTimerCount(), 0u);
  EXPECT_FALSE(KillTimer(h, 1));  // already gone
  DestroyWindow(h);
}

TEST_F(Windows, ATimerHasAtMostOneMessagePending) {
  HWND h = Top();
  ASSERT_NE(SetTimer(h, 9, 100, nullptr), 0u);
  Sleep(350);  // several periods pass without anyone looking
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_EQ(m.wParam, 9u);
  EXPECT_FALSE(PeekMessageA(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE));
  // A forged WM_TIMER naming a procedure that is no timer's is not called.
  g_fired.clear();
  MSG forged{h, WM_TIMER, 9, reinterpret_cast<LPARAM>(&RecordTimer), 0, {0, 0}};
  DispatchMessageA(&forged);
  EXPECT_TRUE(g_fired.empty());
  EXPECT_TRUE(KillTimer(h, 9));
  DestroyWindow(h);
}

TEST_F(Windows, RegisteredMessagesAreSharedByName) {
  UINT a = RegisterWindowMessageA("korven.test.message");
  EXPECT_GE(a, 0xC000u);
  EXPECT_LE(a, 0xFFFFu);
  EXPECT_EQ(RegisterWindowMessageA("KORVEN.Test.Message"), a);
  EXPECT_NE(RegisterWindowMessageA("korven.test.other"), a);
  EXPECT_EQ(RegisterWindowMessageA(""), 0u);
}

TEST_F(Windows, FocusMovesWithMessagesAndLeavesADisabledWindow) {
  HWND top = Top();
  HWND a = Child(top, "EDIT", "", 1), b = Child(top, "EDIT", "", 2);
  EXPECT_EQ(SetFocus(a), 0u);
  EXPECT_EQ(GetFocus(), a);
  EXPECT_EQ(SetFocus(b), a);
  EXPECT_EQ(GetFocus(), b);
  EXPECT_EQ(GetActiveWindow(), top);
  EnableWindow(b, FALSE);
  EXPECT_EQ(GetFocus(), 0u);
  EXPECT_EQ(SetFocus(b), 0u);  // a disabled window takes no focus
  EXPECT_TRUE(SetForegroundWindow(a));
  EXPECT_EQ(GetForegroundWindow(), top);
  DestroyWindow(top);
  EXPECT_EQ(GetForegroundWindow(), 0u);
}

TEST_F(Windows, ButtonsNotifyTheirParentAndCheckBoxesToggle) {
  HWND top = Top();
  HWND push = Child(top, "BUTTON", "Go", 10);
  HWND check = Child(top, "BUTTON", "Opt", 11, BS_AUTOCHECKBOX);
  SendMessageA(push, BM_CLICK, 0, 0);
  SendMessageA(check, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageA(check, BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageA(check, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageA(check, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EnableWindow(push, FALSE);
  SendMessageA(push, BM_CLICK, 0, 0);  // a disabled button does nothing
  auto commands = SeenOf(WM_COMMAND);
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].wParam, MAKEWPARAM(10, BN_CLICKED));
  EXPECT_EQ(commands[0].lParam, LPARAM(push));
  EXPECT_EQ(LOWORD(commands[2].wParam), 11);
  DestroyWindow(top);
}

TEST_F(Windows, EditNotifiesChangesAndListBoxAnswersItsMessages) {
  HWND top = Top();
  HWND edit = Child(top, "EDIT", "", 20);
  HWND list = Child(top, "LISTBOX", "", 21);
  SetWindowTextA(edit, "typed");
  auto commands = SeenOf(WM_COMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].wParam, MAKEWPARAM(20, EN_CHANGE));

  auto send = [&](UINT msg, WPARAM wp = 0, const char* text = nullptr) {
    return SendMessageA(list, msg, wp, reinterpret_cast<LPARAM>(text));
  };
  EXPECT_EQ(send(LB_ADDSTRING, 0, "Alpha"), 0);
  EXPECT_EQ(send(LB_ADDSTRING, 0, "Beta"), 1);
  EXPECT_EQ(send(LB_INSERTSTRING, 0, "First"), 0);
  EXPECT_EQ(send(LB_GETCOUNT), 3);
  EXPECT_EQ(send(LB_GETCURSEL), LB_ERR);
  EXPECT_EQ(send(LB_SETCURSEL, 2), 2);
  EXPECT_EQ(send(LB_SETCURSEL, 7), LB_ERR);
  EXPECT_EQ(send(LB_GETCURSEL), 2);
  EXPECT_EQ(send(LB_FINDSTRINGEXACT, WPARAM(-1), "beta"), 2);
  EXPECT_EQ(send(LB_FINDSTRINGEXACT, WPARAM(-1), "Bet"), LB_ERR);
  EXPECT_EQ(send(LB_GETTEXTLEN, 1), 5);
  char buf[16];
  EXPECT_EQ(SendMessageA(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(buf)), 5);
  EXPECT_STREQ(buf, "Alpha");
  EXPECT_EQ(send(LB_GETTEXT, 9), LB_ERR);
  EXPECT_EQ(send(LB_DELETESTRING, 0), 2);
  EXPECT_EQ(send(LB_GETCURSEL), 1);                   // the selection follows its item
  EXPECT_EQ(send(LB_SETCURSEL, WPARAM(-1)), LB_ERR);  // clears, and says "error" as Win32 does
  EXPECT_EQ(send(LB_GETCURSEL), LB_ERR);
  send(LB_RESETCONTENT);
  EXPECT_EQ(send(LB_GETCOUNT), 0);
  EXPECT_EQ(SeenOf(WM_COMMAND).size(), 1u);  // programmatic list changes do not notify
  DestroyWindow(top);
}

TEST_F(Windows, ComboBoxTextFollowsItsSelection) {
  HWND top = Top();
  HWND combo = Child(top, "COMBOBOX", "", 30, CBS_DROPDOWNLIST | CBS_SORT);
  for (const char* s : {"pear", "Apple", "fig"}) SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  char buf[16];
  SendMessageA(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(buf));
  EXPECT_STREQ(buf, "Apple");  // sorted without regard to case
  EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 1, 0), 1);
  GetWindowTextA(combo, buf, sizeof buf);
  EXPECT_STREQ(buf, "fig");
  DestroyWindow(top);
}

}  // namespace
