// The session layer: loading the manager, the call wrappers' bookkeeping, the status texts, the way
// up to each state and the cascade down from it, opening, listing and selecting sources.
#include "rt_support.h"

#include <windows.h>

#include <dlfcn.h>

namespace korven::test {
namespace {

class SessionTest : public RtTest {
 protected:
  // Climbs from tsPRESESSION to `target` through the real manager and virtual scanner.
  void DriveTo(TestScanner& s, TWAINState target) {
    HWND h = AppWindow();
    if (target >= tsSM_LOADED) {
      ASSERT_TRUE(s.TWAIN_LoadSourceManager());
    }
    if (target >= tsSM_OPEN) {
      ASSERT_TRUE(s.TWAIN_OpenSourceManager(h));
    }
    if (target >= tsSOURCE_OPEN) {
      ASSERT_TRUE(s.TWAIN_OpenDefaultSource(h));
    }
    if (target >= tsSOURCE_ENABLED) {
      ASSERT_TRUE(s.TWAIN_EnableSource(h));
      // The source announced its images with a message; take it off the queue.
      MSG msg{};
      ASSERT_TRUE(PeekMessageA(&msg, 0, 0xC000, 0xFFFF, PM_REMOVE));
      if (target >= tsTRANSFER_READY) {
        TW_EVENT event{&msg, MSG_NULL};
        s.TWAIN_DS(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
      }
    }
    if (target >= tsTRANSFERRING) {
      HGLOBAL dib = 0;
      ASSERT_TRUE(s.TWAIN_DS(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib));
      GlobalFree(dib);
    }
    ASSERT_EQ(s.GetState(), target);
  }
};

// ---- Loading ----------------------------------------------------------------------------------------

TEST_F(SessionTest, LoadsOnceFromTheWindowsDirectoryAndReadsTheVersion) {
  TestScanner& s = NewScanner();
  size_t modules = platform::LoadedModuleCount();
  EXPECT_TRUE(s.TWAIN_LoadSourceManager());
  EXPECT_TRUE(s.TWAIN_LoadSourceManager());
  EXPECT_EQ(s.GetState(), tsSM_LOADED);
  EXPECT_EQ(platform::LoadedModuleCount(), modules + 1);
  EXPECT_EQ(s.GetDSMVersion(), 0x00010008u);  // the manager's record says 1.8
  EXPECT_TRUE(s.TWAIN_UnloadSourceManager(AppWindow()));
  EXPECT_EQ(s.GetDSMHandle(), 0u);
  EXPECT_EQ(platform::LoadedModuleCount(), modules);
}

TEST_F(SessionTest, LoadFailuresLeaveNothingLoaded) {
  struct Case {
    const char* what;
    std::function<void(PrivateWindowsDir&)> prepare;
  } cases[] = {
      {"no TWAIN_32.DLL", [](PrivateWindowsDir& w) { w.RemoveManager(); }},
      {"no DSM_Entry export", [](PrivateWindowsDir& w) { w.SetManager(RT_STUB_NOENTRY); }},
      {"Windows directory longer than the buffer",
       [](PrivateWindowsDir&) { platform::SetWindowsDirectory("/tmp/" + std::string(300, 'w')); }},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    PrivateWindowsDir dir;
    c.prepare(dir);
    size_t modules = platform::LoadedModuleCount();
    TestScanner& s = NewScanner();
    EXPECT_FALSE(s.TWAIN_LoadSourceManager());
    EXPECT_EQ(s.GetState(), tsPRESESSION);
    EXPECT_EQ(s.GetDSMHandle(), 0u);
    EXPECT_EQ(platform::LoadedModuleCount(), modules);
  }
}

TEST_F(SessionTest, ManagerRefusingToOpenLeavesTheSessionLoaded) {
  windows->SetManager(RT_STUB_DSM);
  TestScanner& s = NewScanner();
  ASSERT_TRUE(s.TWAIN_LoadSourceManager());
  vcl::TStringList names;
  names.Add("stale");
  EXPECT_FALSE(s.TWAIN_OpenSourceManager(AppWindow()));
  EXPECT_EQ(s.GetState(), tsSM_LOADED);
  EXPECT_EQ(s.TWAIN_GetResultCode(), TWRC_FAILURE);
  EXPECT_FALSE(s.TWAIN_EnumSources(AppWindow(), &names));
  EXPECT_EQ(names.Count(), 0);
  EXPECT_EQ(s.GetState(), tsSM_LOADED);
  // From nothing, the library loaded for the listing goes again.
  ASSERT_TRUE(s.TWAIN_UnloadSourceManager(AppWindow()));
  EXPECT_FALSE(s.TWAIN_EnumSources(AppWindow(), &names));
  EXPECT_EQ(s.GetState(), tsPRESESSION);
  EXPECT_EQ(s.GetDSMHandle(), 0u);
}

TEST_F(SessionTest, WrappersWithoutAnEntryCallNothing) {
  TestScanner& s = NewScanner();
  s.FResultCode = 0;
  EXPECT_FALSE(s.TWAIN_Mgr(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr));
  EXPECT_EQ(s.TWAIN_GetResultCode(), TWRC_FAILURE);
  EXPECT_THROW(s.TWAIN_DS(DG_CONTROL, DAT_STATUS, MSG_GET, nullptr), vcl::EAssertionFailed);
  s.FState = tsSOURCE_OPEN;
  s.FResultCode = 0;
  EXPECT_FALSE(s.TWAIN_DS(DG_CONTROL, DAT_STATUS, MSG_GET, nullptr));
  EXPECT_EQ(s.TWAIN_GetResultCode(), TWRC_FAILURE);
  s.FState = tsPRESESSION;
}

// ---- Status codes and the diagnostic line -----------------------------------------------------------

TEST_F(SessionTest, ErrorBoxNamesBothCodesOrCallsThemUnknown) {
  TestScanner& s = NewScanner();
  s.FResultCode = 12;
  s.TWAIN_ErrorBox("Something failed");
  s.FResultCode = TWRC_CHECKSTATUS;
  s.TWAIN_ErrorBox("Again");
  ASSERT_EQ(debug->Lines().size(), 2u);
  EXPECT_EQ(debug->Lines()[0], ErrorText("Something failed", "Unknow (12)", "TWCC_BUMMER"));
  EXPECT_EQ(debug->Lines()[1], ErrorText("Again", "TWRC_CHECKSTATUS", "TWCC_BUMMER"));
}

TEST_F(SessionTest, ConditionCodesFromTheManagerByName) {
  windows->SetManager(RT_STUB_DSM);
  TestScanner& s = NewScanner();
  ASSERT_TRUE(s.TWAIN_LoadSourceManager());
  auto configure = reinterpret_cast<void (*)(TW_UINT16, TW_UINT16)>(
      reinterpret_cast<void*>(GetProcAddress(s.GetDSMHandle(), "StubConfigure")));
  ASSERT_NE(configure, nullptr);
  configure(TWRC_SUCCESS, 7);
  // Below tsSM_OPEN nobody is asked.
  EXPECT_EQ(s.TWAIN_GetConditionCode(), 1);
  ASSERT_TRUE(s.TWAIN_OpenSourceManager(AppWindow()));
  struct {
    TW_UINT16 code;
    const char* name;
  } cases[] = {{7, "TWCC_7"}, {8, "TWCC_8"}, {9, "TWCC_BADPROTOCOL"}, {15, "TWCC_CAPSEQERROR"}, {16, "Unknow (16)"}};
  for (auto& c : cases) {
    configure(TWRC_SUCCESS, c.code);
    debug->Clear();
    s.FResultCode = TWRC_ENDOFLIST;
    s.TWAIN_ErrorBox("m");
    EXPECT_EQ(debug->All(), ErrorText("m", "TWRC_ENDOFLIST", c.name) + "\n");
    EXPECT_EQ(s.TWAIN_GetResultCode(), TWRC_ENDOFLIST);
  }
  EXPECT_TRUE(s.TWAIN_UnloadSourceManager(AppWindow()));
}

TEST_F(SessionTest, ReadingTheConditionKeepsTheResultCodeInEveryState) {
  AddVirtual("Scanner A", "ImagesPerScan = 2\n");
  for (int st = tsPRESESSION; st <= tsTRANSFERRING; ++st) {
    SCOPED_TRACE(st);
    TestScanner& s = NewScanner();
    DriveTo(s, TWAINState(st));
    s.FResultCode = 9;
    int cc = s.TWAIN_GetConditionCode();
    EXPECT_EQ(s.TWAIN_GetResultCode(), 9);
    if (st < tsSM_OPEN) {
      EXPECT_EQ(cc, 1);
    }
    EXPECT_TRUE(s.TWAIN_UnloadSourceManager(AppWindow()));
  }
}

TEST_F(SessionTest, CheckSourceOpenReportsBelowSourceOpen) {
  TestScanner& s = NewScanner();
  EXPECT_FALSE(s.TWAIN_CheckSourceOpen());
  EXPECT_EQ(debug->All(), ErrorText("Data Source not open", "TWRC_SUCCESS", "TWCC_BUMMER") + "\n");
}

// ---- The cascade down ---------------------------------------------------------------------------------

TEST_F(SessionTest, EveryWayDownStopsAtItsTargetFromEveryState) {
  AddVirtual("Scanner A", "ImagesPerScan = 2\n");
  struct Op {
    const char* name;
    TWAINState target;
    std::function<bool(TestScanner&, HWND)> run;
  } ops[] = {
      {"EndXfer", tsTRANSFER_READY, [](TestScanner& s, HWND) { return s.TWAIN_EndXfer(); }},
      {"AbortAllPendingXfers", tsSOURCE_ENABLED, [](TestScanner& s, HWND) { return s.TWAIN_AbortAllPendingXfers(); }},
      {"DisableSource", tsSOURCE_OPEN, [](TestScanner& s, HWND) { return s.TWAIN_DisableSource(); }},
      {"CloseSource", tsSM_OPEN, [](TestScanner& s, HWND) { return s.TWAIN_CloseSource(); }},
      {"CloseSourceManager", tsSM_LOADED, [](TestScanner& s, HWND h) { return s.TWAIN_CloseSourceManager(h); }},
      {"UnloadSourceManager", tsPRESESSION, [](TestScanner& s, HWND h) { return s.TWAIN_UnloadSourceManager(h); }},
  };
  for (auto& op : ops) {
    for (int st = tsPRESESSION; st <= tsTRANSFERRING; ++st) {
      SCOPED_TRACE(std::string(op.name) + " from " + vcl::EnumInfo<TWAINState>().NameOf(st));
      TestScanner& s = NewScanner();
      DriveTo(s, TWAINState(st));
      EXPECT_TRUE(op.run(s, AppWindow()));
      EXPECT_EQ(s.GetState(), std::min(TWAINState(st), op.target));
      EXPECT_EQ(SourcesInUse->Count(), s.GetState() >= tsSOURCE_OPEN ? 1 : 0);
      EXPECT_TRUE(s.TWAIN_UnloadSourceManager(AppWindow()));
    }
  }
  EXPECT_FALSE(debug->Contains("State missmatch"));
}

TEST_F(SessionTest, EndXferWithAnUnknownCountStaysReady) {
  AddVirtual("Scanner A", "PendingCount = unknown\nImagesPerScan = 2\n");
  TestScanner& s = NewScanner();
  DriveTo(s, tsTRANSFERRING);
  EXPECT_TRUE(s.TWAIN_EndXfer());
  EXPECT_EQ(s.GetPendingXfers().Count, 0xFFFF);
  EXPECT_EQ(s.GetState(), tsTRANSFER_READY);
}

// ---- Opening, enabling ----------------------------------------------------------------------------------

TEST_F(SessionTest, DefaultOpenFromNothingClimbsToSourceOpen) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  EXPECT_TRUE(s.TWAIN_OpenDefaultSource(AppWindow()));
  EXPECT_EQ(s.GetState(), tsSOURCE_OPEN);
  EXPECT_EQ(s.TWAIN_SourceName(), "Scanner A");
  ASSERT_EQ(SourcesInUse->Count(), 1);
  EXPECT_EQ(SourcesInUse->Strings(0), "Scanner A");
  EXPECT_TRUE(s.TWAIN_CloseSource());
  EXPECT_EQ(SourcesInUse->Count(), 0);
  EXPECT_EQ(s.TWAIN_SourceName(), "");
  EXPECT_EQ(std::string(s.GetSourceID().ProductName), "Scanner A");  // kept after the close
}

TEST_F(SessionTest, DefaultSourceHeldByAnotherComponentIsGivenBack) {
  AddVirtual("Scanner A");
  TestScanner& a = NewScanner();
  TestScanner& b = NewScanner();
  ASSERT_TRUE(a.TWAIN_OpenDefaultSource(AppWindow()));
  EXPECT_FALSE(b.TWAIN_OpenDefaultSource(AppWindow()));
  EXPECT_EQ(b.GetState(), tsSM_OPEN);
  EXPECT_TRUE(debug->Contains("TWAIN Source Scanner A is already used\r\n ResultCode="));
  EXPECT_EQ(SourcesInUse->Count(), 1);
}

TEST_F(SessionTest, NamedSourceHeldByAnotherComponentIsReportedAndOpened) {
  AddVirtual("Scanner A");
  AddVirtual("Scanner B");
  TestScanner& a = NewScanner();
  TestScanner& b = NewScanner();
  ASSERT_TRUE(a.TWAIN_OpenSource(AppWindow(), "Scanner B"));
  EXPECT_FALSE(debug->Contains("alreay"));
  // SourcesInUse compares without case; the manager does not, so this open fails after the report.
  EXPECT_FALSE(b.TWAIN_OpenSource(AppWindow(), "scanner b"));
  EXPECT_TRUE(debug->Contains("TWAIN Source scanner b is alreay used"));
  debug->Clear();
  EXPECT_TRUE(b.TWAIN_OpenSource(AppWindow(), "Scanner B"));
  EXPECT_TRUE(debug->Contains("TWAIN Source Scanner B is alreay used"));
  EXPECT_EQ(SourcesInUse->Count(), 2);  // one entry per open
  EXPECT_TRUE(a.TWAIN_CloseSource());
  EXPECT_EQ(SourcesInUse->Count(), 1);
}

TEST_F(SessionTest, LongNamesAreCutToThirtyThreeCharacters) {
  std::string name33(33, 'n');
  name33[0] = 'L';
  AddVirtual(name33);
  TestScanner& s = NewScanner();
  EXPECT_TRUE(s.TWAIN_OpenSource(AppWindow(), name33 + "1234567"));
  EXPECT_EQ(s.TWAIN_SourceName(), name33);
}

TEST_F(SessionTest, OpeningAboveSourceOpenChangesNothing) {
  AddVirtual("Scanner A");
  TestScanner& s = NewScanner();
  DriveTo(s, tsSOURCE_ENABLED);
  EXPECT_FALSE(s.TWAIN_OpenDefaultSource(AppWindow()));
  EXPECT_FALSE(s.TWAIN_OpenSource(AppWindow(), "Scanner A"));
  EXPECT_EQ(s.GetState(), tsSOURCE_ENABLED);
  EXPECT_EQ(SourcesInUse->Count(), 1);
}

TEST_F(SessionTest, EnableAnsweredWithCheckStatusEnables) {
  AddVirtual("Scanner A", "EnableResult = checkstatus\n");
  TestScanner& s = NewScanner();
  s.SetShowUI(true);
  desktop.Always("Close");  // never reached: the test takes the source down itself
  EXPECT_TRUE(s.TWAIN_EnableSource(AppWindow()));
  EXPECT_EQ(s.TWAIN_GetResultCode(), TWRC_CHECKSTATUS);
  EXPECT_EQ(s.GetState(), tsSOURCE_ENABLED);
  TW_USERINTERFACE ui = s.FUserInterface;  // copied: packed fields do not bind to references
  EXPECT_EQ(ui.ShowUI, 0xFFFF);
  EXPECT_EQ(HWND(ui.hParent), AppWindow());
  EXPECT_TRUE(s.TWAIN_DisableSource());
}

// ---- Listing and selecting ----------------------------------------------------------------------------

TEST_F(SessionTest, EnumerationLeavesEveryStartingStateAsFound) {
  AddVirtual("Scanner A");
  AddVirtual("Scanner B");
  for (int st = tsPRESESSION; st <= tsSOURCE_OPEN; ++st) {
    SCOPED_TRACE(st);
    TestScanner& s = NewScanner();
    DriveTo(s, TWAINState(st));
    vcl::TStringList names;
    EXPECT_TRUE(s.TWAIN_EnumSources(AppWindow(), &names));
    EXPECT_EQ(names.GetCommaText(), "\"Scanner A\",\"Scanner B\"");
    EXPECT_EQ(s.GetState(), TWAINState(st));
    EXPECT_TRUE(s.TWAIN_UnloadSourceManager(AppWindow()));
  }
  EXPECT_FALSE(debug->Contains("State missmatch"));
}

TEST_F(SessionTest, EnumerationWithoutAManagerIsEmpty) {
  windows->RemoveManager();
  TestScanner& s = NewScanner();
  vcl::TStringList names;
  names.Add("stale");
  EXPECT_FALSE(s.TWAIN_EnumSources(AppWindow(), &names));
  EXPECT_EQ(names.Count(), 0);
  EXPECT_EQ(s.GetState(), tsPRESESSION);
}

TEST_F(SessionTest, SelectionMakesTheChoiceTheNextDefaultAndLeavesTheState) {
  AddVirtual("Scanner A");
  AddVirtual("Scanner B");
  TestScanner& s = NewScanner();
  desktop.Pick("Scanner B", "Select Source").Press("Select", "Select Source");
  EXPECT_TRUE(s.TWAIN_SelectImageSource(AppWindow()));
  EXPECT_EQ(s.GetState(), tsPRESESSION);
  EXPECT_TRUE(s.TWAIN_OpenDefaultSource(AppWindow()));
  EXPECT_EQ(s.TWAIN_SourceName(), "Scanner B");

  desktop.Press("Cancel", "Select Source");
  EXPECT_FALSE(s.TWAIN_SelectImageSource(AppWindow()));
  EXPECT_EQ(s.GetState(), tsSOURCE_OPEN);
  EXPECT_TRUE(desktop.Remaining().empty());
}

}  // namespace
}  // namespace korven::test
