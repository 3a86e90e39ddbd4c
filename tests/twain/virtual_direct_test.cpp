// The data source driven directly through DS_Entry, without the manager: what the manager relies on
// (identity before open, one connection per application, the connection limit) and the corners an
// application can reach only by misbehaving.
#include "virtual_fixture.h"

namespace korven::test {
namespace {

class DirectSource {
 public:
  explicit DirectSource(const std::filesystem::path& file) {
    module_ = LoadLibraryA(file.string().c_str());
    entry_ = reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void (*)()>(GetProcAddress(module_, "DS_Entry")));
  }
  ~DirectSource() { Unload(); }
  void Unload() {
    if (module_) FreeLibrary(module_);
    module_ = 0;
  }
  bool Loaded() const { return entry_ != nullptr; }
  TW_UINT16 Call(TW_UINT32 app, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    TW_IDENTITY origin{};
    origin.Id = app;
    return entry_(&origin, dg, dat, msg, data);
  }
  TW_UINT16 Open(TW_UINT32 app) {
    TW_IDENTITY id{};
    id.Id = 100 + app;
    return Call(app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &id);
  }
  TW_UINT16 Status(TW_UINT32 app) {
    TW_STATUS status{0xFFFF, 0};
    Call(app, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    return status.ConditionCode;
  }
  TW_UINT16 Enable(TW_UINT32 app, HWND parent, bool showUI = false) {
    TW_USERINTERFACE ui{static_cast<TW_BOOL>(showUI), 0, parent};
    return Call(app, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  }
  TW_UINT16 Event(TW_UINT32 app, MSG& m, TW_UINT16& twMessage) {
    TW_EVENT event{&m, 0xBEEF};
    TW_UINT16 rc = Call(app, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    twMessage = event.TWMessage;
    return rc;
  }

 private:
  HMODULE module_ = 0;
  DSENTRYPROC entry_ = nullptr;
};

class VirtualDirectTest : public KorvenTest {
 protected:
  void SetUp() override {
    KorvenTest::SetUp();
    parent_ = CreateWindowExA(0, "STATIC", "application", WS_POPUP, 0, 0, 100, 100, 0, 0, 0, nullptr);
  }
  void TearDown() override {
    DestroyWindow(parent_);
    KorvenTest::TearDown();
  }
  std::filesystem::path Install(const std::string& ini) { return windows_.AddSource("virtual", "direct", ini); }

  korven::platform::ScriptedDesktop desktop_;
  korven::platform::ScopedDesktop scoped_{desktop_};
  PrivateWindowsDir windows_{false};
  HWND parent_ = 0;
};

TEST_F(VirtualDirectTest, AnswersItsIdentityBeforeAnyOpen) {
  DirectSource ds(Install("ProductName = Lab Scanner\nManufacturer = ACME\nProductFamily = Bench\nVersion = 3.14\n"));
  ASSERT_TRUE(ds.Loaded());
  TW_IDENTITY id{};
  id.Id = 77;
  ASSERT_EQ(ds.Call(0, DG_CONTROL, DAT_IDENTITY, MSG_GET, &id), TWRC_SUCCESS);
  EXPECT_EQ(+id.Id, 77u);
  EXPECT_EQ(TwainApp::Name(id), "Lab Scanner");
  EXPECT_STREQ(id.Manufacturer, "ACME");
  EXPECT_STREQ(id.ProductFamily, "Bench");
  EXPECT_EQ(id.Version.MajorNum, 3);
  EXPECT_EQ(id.Version.MinorNum, 14);
  EXPECT_EQ(id.ProtocolMajor, 1);
  EXPECT_EQ(id.ProtocolMinor, 8);
  EXPECT_EQ(+id.SupportedGroups, uint32_t(DG_CONTROL | DG_IMAGE));
}

TEST_F(VirtualDirectTest, DefaultsWithoutConfiguration) {
  DirectSource ds(Install(""));
  TW_IDENTITY id{};
  ASSERT_EQ(ds.Call(0, DG_CONTROL, DAT_IDENTITY, MSG_GET, &id), TWRC_SUCCESS);
  EXPECT_EQ(TwainApp::Name(id), "Virtual Scanner");
}

TEST_F(VirtualDirectTest, ConnectionsAreCountedPerApplication) {
  DirectSource ds(Install("MaxConnections = 2\n"));
  TW_HANDLE h = 0;
  EXPECT_EQ(ds.Call(1, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &h), TWRC_FAILURE);  // nothing open yet
  EXPECT_EQ(ds.Status(1), TWCC_SEQERROR);
  ASSERT_EQ(ds.Open(1), TWRC_SUCCESS);
  EXPECT_EQ(ds.Open(1), TWRC_FAILURE);  // one connection per application
  EXPECT_EQ(ds.Status(1), TWCC_SEQERROR);
  ASSERT_EQ(ds.Open(2), TWRC_SUCCESS);
  EXPECT_EQ(ds.Open(3), TWRC_FAILURE);
  EXPECT_EQ(ds.Status(3), TWCC_MAXCONNECTIONS);

  // Each connection keeps its own state and settings.
  ASSERT_EQ(ds.Enable(1, parent_), TWRC_SUCCESS);
  TW_CAPABILITY cap{ICAP_PIXELTYPE, TWON_ONEVALUE, GlobalAlloc(GHND, sizeof(TW_ONEVALUE))};
  auto* one = static_cast<TW_ONEVALUE*>(GlobalLock(cap.hContainer));
  *one = TW_ONEVALUE{TWTY_UINT16, TWPT_BW};
  GlobalUnlock(cap.hContainer);
  EXPECT_EQ(ds.Call(1, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_FAILURE);
  EXPECT_EQ(ds.Status(1), TWCC_SEQERROR);
  EXPECT_EQ(ds.Status(2), TWCC_SUCCESS);
  EXPECT_EQ(ds.Call(2, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_SUCCESS);
  GlobalFree(cap.hContainer);
  TW_CAPABILITY get{ICAP_PIXELTYPE, 0, 0};
  ASSERT_EQ(ds.Call(1, DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &get), TWRC_SUCCESS);
  EXPECT_EQ(+static_cast<TW_ONEVALUE*>(GlobalLock(get.hContainer))->Item, uint32_t(TWPT_RGB));
  GlobalUnlock(get.hContainer);
  GlobalFree(get.hContainer);

  // Only an application in state 4 may close; the freed place serves the next one.
  EXPECT_EQ(ds.Call(1, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_FAILURE);
  EXPECT_EQ(ds.Status(1), TWCC_SEQERROR);
  EXPECT_EQ(ds.Call(2, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr), TWRC_SUCCESS);
  EXPECT_EQ(ds.Open(3), TWRC_SUCCESS);
  // The announcement of connection 1 is left in the queue; the source takes it back at unload.
}

TEST_F(VirtualDirectTest, AnnouncesToTheThreadWithoutAParentWindow) {
  DirectSource ds(Install(""));
  ASSERT_EQ(ds.Open(1), TWRC_SUCCESS);
  EXPECT_EQ(ds.Enable(1, 0xFFFF0), TWRC_FAILURE);  // not a window
  EXPECT_EQ(ds.Status(1), TWCC_BADVALUE);
  ASSERT_EQ(ds.Enable(1, 0), TWRC_SUCCESS);
  MSG m{};
  ASSERT_TRUE(PeekMessageA(&m, 0, 0, 0, PM_REMOVE));
  EXPECT_EQ(+m.hwnd, 0u);
  TW_UINT16 twMessage = 0;
  EXPECT_EQ(ds.Event(1, m, twMessage), TWRC_DSEVENT);
  EXPECT_EQ(twMessage, MSG_XFERREADY);
}

TEST_F(VirtualDirectTest, MessagesOfAnEarlierEnableAreIgnored) {
  DirectSource ds(Install(""));
  ASSERT_EQ(ds.Open(1), TWRC_SUCCESS);
  ASSERT_EQ(ds.Enable(1, parent_), TWRC_SUCCESS);
  MSG old{};
  ASSERT_TRUE(PeekMessageA(&old, 0, 0, 0, PM_REMOVE));
  TW_USERINTERFACE ui{0, 0, parent_};
  ASSERT_EQ(ds.Call(1, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS);
  ASSERT_EQ(ds.Enable(1, parent_), TWRC_SUCCESS);
  TW_UINT16 twMessage = 0;
  EXPECT_EQ(ds.Event(1, old, twMessage), TWRC_DSEVENT);  // its own message, but stale
  EXPECT_EQ(twMessage, MSG_NULL);
  MSG fresh{};
  ASSERT_TRUE(PeekMessageA(&fresh, 0, 0, 0, PM_REMOVE));
  EXPECT_EQ(ds.Event(1, fresh, twMessage), TWRC_DSEVENT);
  EXPECT_EQ(twMessage, MSG_XFERREADY);
  // A second copy of the same announcement finds the image already on offer.
  EXPECT_EQ(ds.Event(1, fresh, twMessage), TWRC_DSEVENT);
  EXPECT_EQ(twMessage, MSG_NULL);
  TW_EVENT none{nullptr, 0};
  EXPECT_EQ(ds.Call(1, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &none), TWRC_FAILURE);
  EXPECT_EQ(ds.Status(1), TWCC_BADVALUE);
}

// A source that refuses MSG_ENDXFER strands the application in state 7; unloading the source still
// takes its dialog and messages with it.
TEST_F(VirtualDirectTest, RefusedEndXferAndUnloadWithADialogOpen) {
  DirectSource ds(Install("RefuseEndXfer = yes\nResolutions = 10..100\nDefaultResolution = 10\n"));
  ASSERT_EQ(ds.Open(1), TWRC_SUCCESS);
  ASSERT_EQ(ds.Enable(1, parent_, true), TWRC_SUCCESS);
  ASSERT_EQ(desktop_.Shown().size(), 1u);
  ASSERT_TRUE(korven::platform::PressButton(desktop_.Shown()[0].hwnd, "Scan"));
  MSG m{};
  ASSERT_TRUE(PeekMessageA(&m, 0, 0, 0, PM_REMOVE));
  TW_UINT16 twMessage = 0;
  ASSERT_EQ(ds.Event(1, m, twMessage), TWRC_DSEVENT);
  TW_HANDLE h = 0;
  ASSERT_EQ(ds.Call(1, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &h), TWRC_XFERDONE);
  GlobalFree(h);
  TW_PENDINGXFERS pending{};
  EXPECT_EQ(ds.Call(1, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_FAILURE);
  EXPECT_EQ(ds.Status(1), TWCC_BUMMER);
  TW_USERINTERFACE ui{0, 0, parent_};
  EXPECT_EQ(ds.Call(1, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_FAILURE);
  EXPECT_EQ(ds.Status(1), TWCC_SEQERROR);
  HWND dialog = desktop_.Shown()[0].hwnd;
  ds.Unload();
  EXPECT_FALSE(IsWindow(dialog));
}

}  // namespace
}  // namespace korven::test
