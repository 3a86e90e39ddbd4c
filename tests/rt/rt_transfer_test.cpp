// The message pump and native transfer: how the modal loop ends, the hook's error dialog, the proxy
// window, and acquisitions with one or several images, cancelled from each handler.
#include "rt_support.h"

#include <windows.h>

namespace korven::test {
namespace {

class TransferTest : public RtTest {
 protected:
  // Counts the handler calls and optionally cancels from one of them.
  struct Handlers {
    int before = 0, after = 0;
    bool cancelBefore = false, cancelAfter = false;
    std::string throwAfter;
    std::vector<HGLOBAL> dibs;
  };
  void Install(TestScanner& s, Handlers& h) {
    s.TWAIN_SetBeforeScanEvent(&s, [&h](vcl::TObject*, const TW_IMAGEINFO& info, bool& cancel) {
      ++h.before;
      EXPECT_GT(info.ImageWidth, 0);
      if (h.cancelBefore) cancel = true;
    });
    s.TWAIN_SetAfterScanEvent(&s, [&h](vcl::TObject*, HGLOBAL dib, bool& cancel) {
      ++h.after;
      h.dibs.push_back(dib);
      EXPECT_GT(GlobalSize(dib), 40u);
      if (h.cancelAfter) cancel = true;
      if (!h.throwAfter.empty()) throw vcl::Exception(h.throwAfter);
    });
  }
};

// ---- Proxy window ---------------------------------------------------------------------------------------

TEST_F(TransferTest, ProxyWindowIsCreatedOnceAndAnnouncedEachTime) {
  TestScanner& s = NewScanner();
  EXPECT_EQ(s.GetValidHwnd(AppWindow()), AppWindow());
  EXPECT_TRUE(desktop.Shown().empty());

  desktop.Press("OK").Press("OK").Press("OK");
  HWND proxy = s.GetValidHwnd(0);
  ASSERT_NE(proxy, 0u);
  EXPECT_EQ(s.GetValidHwnd(0), proxy);
  std::vector<std::string> texts;
  for (auto& w : desktop.Shown())
    if (!w.texts.empty()) texts.push_back(w.texts[0]);
  EXPECT_EQ(texts, (std::vector<std::string>{"CreateProxyWindow", "UseProxyWindow", "UseProxyWindow"}));
  char caption[32] = {};
  GetWindowTextA(proxy, caption, sizeof caption);
  EXPECT_STREQ(caption, "TWAIN Proxy");
  EXPECT_FALSE(IsWindowVisible(proxy));
  // Unloading (from tsPRESESSION too) destroys it.
  EXPECT_TRUE(s.TWAIN_UnloadSourceManager(AppWindow()));
  EXPECT_FALSE(IsWindow(proxy));
  EXPECT_EQ(s.GetProxyWindow(), 0u);
}

TEST_F(TransferTest, ProxyWindowDestroyedFromOutsideIsReportedThenReplaced) {
  TestScanner& s = NewScanner();
  desktop.Always("OK");
  HWND proxy = s.GetValidHwnd(0);
  DestroyWindow(proxy);
  EXPECT_EQ(s.GetValidHwnd(0), 0u);
  EXPECT_TRUE(debug->Contains("TScanner: Unable to create window\r\n"));
  HWND again = s.GetValidHwnd(0);
  EXPECT_NE(again, 0u);
  EXPECT_TRUE(s.TWAIN_UnloadSourceManager(AppWindow()));
}

// ---- The modal loop and the hook ------------------------------------------------------------------------

TEST_F(TransferTest, LoopAndHookDoNothingBelowSourceEnabled) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  ASSERT_TRUE(s.TWAIN_OpenDefaultSource(AppWindow()));
  PostMessageA(AppWindow(), WM_USER, 0, 0);
  s.TWAIN_ModalEventLoop();  // returns without fetching
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, AppWindow(), WM_USER, WM_USER, PM_REMOVE));
  EXPECT_FALSE(s.TWAIN_MessageHook(msg));
  EXPECT_EQ(s.TWAIN_GetResultCode(), TWRC_SUCCESS);  // no TWAIN call was made
}

TEST_F(TransferTest, MessagesThatAreNotTheSourcesAreDispatched) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  s.SetShowUI(true);
  ASSERT_TRUE(s.TWAIN_EnableSource(AppWindow()));
  MSG msg{};
  msg.hwnd = AppWindow();
  msg.message = WM_USER + 7;
  EXPECT_FALSE(s.TWAIN_MessageHook(msg));
  EXPECT_EQ(s.TWAIN_GetResultCode(), TWRC_NOTDSEVENT);
  EXPECT_EQ(s.GetState(), tsSOURCE_ENABLED);
  EXPECT_TRUE(s.TWAIN_CloseSource());
}

TEST_F(TransferTest, CloseRequestFromTheSourcesDialogEndsTheLoopInSmOpen) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  s.SetShowUI(true);
  Handlers h;
  Install(s, h);
  desktop.Press("Close", "Scanner A");
  EXPECT_FALSE(s.TWAIN_AcquireNative(AppWindow()));
  EXPECT_EQ(h.after, 0);
  // Without MultiTransfer the clean-up still brings the session back to where it started.
  EXPECT_EQ(s.GetState(), tsPRESESSION);
  EXPECT_TRUE(IsWindowEnabled(AppWindow()));
}

TEST_F(TransferTest, CloseRequestWithMultiTransferLeavesTheManagerOpen) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  s.SetShowUI(true);
  s.SetMultiTransfer(true);
  Handlers h;
  Install(s, h);
  desktop.Press("Scan", "Scanner A").Press("Close", "Scanner A");
  EXPECT_FALSE(s.TWAIN_AcquireNative(AppWindow()));  // the last wait delivered nothing
  EXPECT_EQ(h.after, 1);
  EXPECT_EQ(s.GetState(), tsSM_OPEN);
  EXPECT_EQ(SourcesInUse->Count(), 0);
}

TEST_F(TransferTest, AbortFromATimerEndsOnlyTheWait) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  s.SetShowUI(true);
  static TestScanner* target;
  target = &s;
  UINT_PTR timer = SetTimer(0, 0, 1, [](HWND, UINT, UINT_PTR, DWORD) { target->TWAIN_BreakModalLoop(); });
  EXPECT_FALSE(s.TWAIN_AcquireNative(AppWindow()));
  KillTimer(0, timer);
  EXPECT_EQ(s.GetState(), tsPRESESSION);
}

TEST_F(TransferTest, QuitEndsTheLoopAndIsConsumed) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  s.SetShowUI(true);
  desktop.Do("post WM_QUIT", [] {
    PostQuitMessage(3);
    return true;
  });
  EXPECT_FALSE(s.TWAIN_AcquireNative(AppWindow()));
  MSG msg{};
  EXPECT_FALSE(PeekMessageA(&msg, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(s.GetState(), tsPRESESSION);
}

TEST_F(TransferTest, ExceptionInAHandlerIsShownAndTheLoopStillEnds) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  s.SetShowUI(true);
  Handlers h;
  h.throwAfter = "Handler broke";
  Install(s, h);
  desktop.Press("Scan", "Scanner A").Press("OK", "Error");
  EXPECT_TRUE(s.TWAIN_AcquireNative(AppWindow()));
  EXPECT_EQ(h.after, 1);
  bool shown = false;
  for (auto& w : desktop.Shown()) shown |= !w.texts.empty() && w.texts[0] == "Handler broke" && w.caption == "Error";
  EXPECT_TRUE(shown);
  EXPECT_TRUE(desktop.Remaining().empty());
  EXPECT_EQ(s.GetState(), tsPRESESSION);
}

// ---- Acquisitions -------------------------------------------------------------------------------------

TEST_F(TransferTest, OneImageFromNothingAndBackToNothing) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  Handlers h;
  Install(s, h);
  size_t modules = platform::LoadedModuleCount();
  EXPECT_TRUE(s.TWAIN_AcquireNative(AppWindow()));
  EXPECT_EQ(h.before, 1);
  EXPECT_EQ(h.after, 1);
  EXPECT_EQ(s.GetLastDib(), h.dibs[0]);
  EXPECT_EQ(GlobalSize(h.dibs[0]), 0u);  // freed once the handler returned
  EXPECT_EQ(s.GetState(), tsPRESESSION);
  EXPECT_EQ(platform::LoadedModuleCount(), modules);
  EXPECT_TRUE(IsWindowEnabled(AppWindow()));
}

TEST_F(TransferTest, PendingImagesByMultiTransferAndCancel) {
  struct Case {
    const char* what;
    bool multi, cancelBefore, cancelAfter;
    std::string ini;
    bool result;
    int before, after;
  } cases[] = {
      {"one of three without MultiTransfer", false, false, false, "ImagesPerScan = 3\n", true, 1, 1},
      // Without the source's dialog a MultiTransfer batch ends when nothing is pending any more.
      {"three with MultiTransfer", true, false, false, "ImagesPerScan = 3\n", true, 3, 3},
      {"unknown count with MultiTransfer", true, false, false, "ImagesPerScan = 3\nPendingCount = unknown\n", true,
       3, 3},
      {"source drops the rest after two", true, false, false, "ImagesPerScan = 3\nCloseAfter = 2\n", true, 2, 2},
      {"before-scan cancel", true, true, false, "ImagesPerScan = 3\n", false, 1, 0},
      {"after-scan cancel", true, false, true, "ImagesPerScan = 3\n", true, 1, 1},
      {"no image information", false, false, false, "RefuseImageInfo = yes\n", true, 0, 1},
      {"cancelled by the source", true, false, false, "TransferResult = cancel\n", false, 1, 0},
      {"failed transfer", true, false, false, "TransferResult = failure\n", false, 1, 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    PrivateWindowsDir dir;
    dir.AddSource("virtual", "v", VirtualIni("Scanner A", c.ini));
    TestScanner& s = NewScanner();
    s.SetMultiTransfer(c.multi);
    Handlers h;
    h.cancelBefore = c.cancelBefore;
    h.cancelAfter = c.cancelAfter;
    Install(s, h);
    EXPECT_EQ(s.TWAIN_AcquireNative(AppWindow()), c.result);
    EXPECT_EQ(h.before, c.before);
    EXPECT_EQ(h.after, c.after);
    EXPECT_TRUE(s.TWAIN_UnloadSourceManager(AppWindow()));
    EXPECT_TRUE(IsWindowEnabled(AppWindow()));
  }
}

TEST_F(TransferTest, AcquisitionFromSourceOpenReturnsThere) {
  AddVirtual("Scanner A", "ImagesPerScan = 3\n");
  TestScanner& s = NewScanner();
  ASSERT_TRUE(s.TWAIN_OpenDefaultSource(AppWindow()));
  Handlers h;
  Install(s, h);
  EXPECT_TRUE(s.TWAIN_AcquireNative(AppWindow()));
  EXPECT_EQ(h.after, 1);
  EXPECT_EQ(s.GetState(), tsSOURCE_OPEN);  // the two other images were reset
}

TEST_F(TransferTest, RefusedNativeModeUnloadsTheWholeSession) {
  AddVirtual("Scanner A", "RefuseNative = yes\n");
  TestScanner& s = NewScanner();
  ASSERT_TRUE(s.TWAIN_OpenDefaultSource(AppWindow()));
  EXPECT_FALSE(s.TWAIN_AcquireNative(AppWindow()));
  EXPECT_EQ(s.GetState(), tsPRESESSION);
  EXPECT_TRUE(debug->Contains("Error setting Native Transfer mode\r\n"));
}

TEST_F(TransferTest, NoSourceToOpenIsReported) {
  TestScanner& s = NewScanner();
  EXPECT_FALSE(s.TWAIN_AcquireNative(AppWindow()));
  EXPECT_TRUE(debug->Contains("Unable to open default Data Source\r\n"));
  EXPECT_EQ(s.GetState(), tsPRESESSION);
  windows->RemoveManager();
  debug->Clear();
  EXPECT_FALSE(s.TWAIN_AcquireNative(AppWindow()));
  EXPECT_TRUE(debug->Contains("Unable to open Source Manager (TWAIN_32.DLL)\r\n"));
}

TEST_F(TransferTest, OtherMechanismsStopWithoutTalkingToTheSource) {
  AddVirtual("Scanner A");
  for (TWAINXferMech mech : {XFERMECH_FILE, XFERMECH_MEMORY}) {
    TestScanner& s = NewScanner();
    ASSERT_TRUE(s.TWAIN_EnableSource(AppWindow()));
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, 0, 0xC000, 0xFFFF, PM_REMOVE));
    TW_EVENT event{&msg, MSG_NULL};
    s.TWAIN_DS(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    ASSERT_EQ(s.GetState(), tsTRANSFER_READY);
    s.FXferMech = mech;
    debug->Clear();
    s.DoOneTransfer();
    EXPECT_TRUE(debug->Contains(mech == XFERMECH_FILE ? "FileXfer not supported\r\n" : "MemoryXfer not supported\r\n"));
    EXPECT_TRUE(s.GetStopXfer());
    EXPECT_EQ(s.GetState(), tsTRANSFER_READY);
    EXPECT_TRUE(s.TWAIN_UnloadSourceManager(AppWindow()));
  }
}

TEST_F(TransferTest, HandlerClosingTheSourceIsAnAssertionOfTheTransfer) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  s.TWAIN_SetAfterScanEvent(&s, [&s](vcl::TObject*, HGLOBAL, bool&) { s.TWAIN_CloseSource(); });
  ASSERT_TRUE(s.TWAIN_EnableSource(AppWindow()));
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, 0, 0xC000, 0xFFFF, PM_REMOVE));
  TW_EVENT event{&msg, MSG_NULL};
  s.TWAIN_DS(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
  try {
    s.DoOneTransfer();
    ADD_FAILURE() << "no assertion";
  } catch (const vcl::EAssertionFailed& e) {
    EXPECT_EQ(e.Message().rfind("State=tsTRANSFER_READY or State=tsSource_ENABLED (State=tsSM_OPEN) (", 0), 0u)
        << e.Message();
  }
  EXPECT_EQ(s.GetState(), tsSM_OPEN);
}

TEST_F(TransferTest, WaitGivesTheParentBackItsEnabledState) {
  AddVirtual("Scanner A");
  for (bool enabledBefore : {true, false}) {
    TestScanner& s = NewScanner();
    HWND parent = CreateWindowExA(0, "STATIC", "parent", WS_CAPTION, 0, 0, 10, 10, 0, 0, 0, nullptr);
    EnableWindow(parent, enabledBefore);
    ASSERT_TRUE(s.TWAIN_OpenDefaultSource(parent));
    ASSERT_TRUE(s.TWAIN_SetXferMech(XFERMECH_NATIVE));
    EXPECT_NE(s.TWAIN_WaitForNativeXfer(parent), 0u);
    EXPECT_EQ(bool(IsWindowEnabled(parent)), enabledBefore);
    EXPECT_TRUE(s.TWAIN_UnloadSourceManager(parent));
    DestroyWindow(parent);
  }
}

TEST_F(TransferTest, WaitWithoutASourceIsReported) {
  TestScanner& s = NewScanner();
  EXPECT_EQ(s.TWAIN_WaitForNativeXfer(AppWindow()), 0u);
  EXPECT_TRUE(debug->Contains("Data Source not open\r\n"));
}

TEST_F(TransferTest, RefusedMechanismKeepsThePreviousOne) {
  AddVirtual("Scanner A", "RefuseSet = ICAP_XFERMECH\n");
  TestScanner& s = NewScanner();
  ASSERT_TRUE(s.TWAIN_OpenDefaultSource(AppWindow()));
  EXPECT_FALSE(s.TWAIN_SetXferMech(XFERMECH_FILE));
  EXPECT_EQ(s.GetXferMech(), XFERMECH_NATIVE);
  EXPECT_TRUE(debug->Contains("ICAP_XFERMECH ($0103) Not Supported\r\n"));
}

}  // namespace
}  // namespace korven::test
