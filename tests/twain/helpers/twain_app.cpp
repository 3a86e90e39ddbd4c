#include "twain_app.h"

#include <algorithm>
#include <cstring>

namespace korven::test {

namespace {

const char kParentClass[] = "KorvenTwainTestApp";

void CopyStr32(TW_STR32& field, const std::string& text) {
  std::memset(field, 0, sizeof(TW_STR32));
  std::memcpy(field, text.data(), std::min(text.size(), sizeof(TW_STR32) - 1));
}

HWND CreateParent(const std::string& caption) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = kParentClass;
  RegisterClassA(&wc);  // already registered by an earlier application: fine
  return CreateWindowExA(0, kParentClass, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640,
                         480, 0, 0, 0, nullptr);
}

}  // namespace

TwainApp::TwainApp(const std::string& productName) {
  app_.Version.MajorNum = 1;
  app_.Version.Language = 13;  // TWLG_USA
  app_.Version.Country = 1;    // TWCY_USA
  CopyStr32(app_.Version.Info, "protocol test");
  app_.ProtocolMajor = TWON_PROTOCOLMAJOR;
  app_.ProtocolMinor = TWON_PROTOCOLMINOR;
  app_.SupportedGroups = DG_CONTROL | DG_IMAGE;
  CopyStr32(app_.Manufacturer, "korven");
  CopyStr32(app_.ProductFamily, "tests");
  CopyStr32(app_.ProductName, productName);

  parent_ = CreateParent(productName);
  char dir[MAX_PATH] = {};
  UINT n = GetWindowsDirectoryA(dir, sizeof(dir));
  if (n == 0 || n >= sizeof(dir)) return;
  library_ = LoadLibraryA((std::string(dir) + "/TWAIN_32.DLL").c_str());
  if (!library_) return;
  FARPROC proc = GetProcAddress(library_, "DSM_Entry");
  entry_ = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void (*)()>(proc));
  if (!entry_) {
    FreeLibrary(library_);
    library_ = 0;
    return;
  }
  state_ = 2;
}

TwainApp::~TwainApp() {
  try {
    TW_PENDINGXFERS pending{};
    if (state_ == 7 && EndXfer(pending) != TWRC_SUCCESS) ResetXfers(pending);
    if (state_ == 6) ResetXfers(pending);
    if (state_ == 5) Disable();
    if (state_ == 4) CloseDS();
    if (state_ == 3) CloseDSM();
  } catch (...) {
    // A desktop or source that throws while tearing down must not end the test program.
  }
  if (library_) FreeLibrary(library_);
  if (parent_ && IsWindow(parent_)) DestroyWindow(parent_);
}

TW_UINT16 TwainApp::Call(pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (!entry_) return TWRC_FAILURE;
  return entry_(&app_, dest, dg, dat, msg, data);
}

TW_UINT16 TwainApp::ManagerCondition() {
  TW_STATUS status{};
  return ToManager(DG_CONTROL, DAT_STATUS, MSG_GET, &status) == TWRC_SUCCESS ? status.ConditionCode : 0xFFFF;
}

TW_UINT16 TwainApp::SourceCondition() {
  TW_STATUS status{};
  return ToSource(DG_CONTROL, DAT_STATUS, MSG_GET, &status) == TWRC_SUCCESS ? status.ConditionCode : 0xFFFF;
}

// ---- The manager ----------------------------------------------------------------------------------

TW_UINT16 TwainApp::OpenDSM() {
  HWND parent = parent_;
  TW_UINT16 rc = ToManager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent);
  if (rc == TWRC_SUCCESS) state_ = 3;
  return rc;
}

TW_UINT16 TwainApp::CloseDSM() {
  HWND parent = parent_;
  TW_UINT16 rc = ToManager(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent);
  if (rc == TWRC_SUCCESS) state_ = 2;
  return rc;
}

std::vector<TW_IDENTITY> TwainApp::ListSources(TW_UINT16* endCode) {
  std::vector<TW_IDENTITY> found;
  TW_IDENTITY id{};
  TW_UINT16 rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id);
  while (rc == TWRC_SUCCESS) {
    found.push_back(id);
    id = TW_IDENTITY{};
    rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &id);
  }
  if (endCode) *endCode = rc;
  return found;
}

std::vector<std::string> TwainApp::SourceNames() {
  std::vector<std::string> names;
  for (const TW_IDENTITY& id : ListSources()) names.push_back(Name(id));
  return names;
}

TW_UINT16 TwainApp::OpenDS(const std::string& productName) {
  TW_IDENTITY id = NamedIdentity(productName);
  TW_UINT16 rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &id);
  if (rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS) {
    source_ = id;
    state_ = 4;
  }
  return rc;
}

TW_UINT16 TwainApp::CloseDS() {
  TW_UINT16 rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_);
  if (rc == TWRC_SUCCESS) state_ = 3;
  return rc;
}

TW_UINT16 TwainApp::UserSelect(TW_IDENTITY* chosen) {
  TW_IDENTITY id{};
  TW_UINT16 rc = ToManager(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &id);
  if (chosen) *chosen = id;
  return rc;
}

TW_UINT16 TwainApp::GetDefault(TW_IDENTITY& out) {
  out = TW_IDENTITY{};
  return ToManager(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &out);
}

// ---- The open source ------------------------------------------------------------------------------

TW_UINT16 TwainApp::Enable(bool showUI, bool modalUI) {
  TW_USERINTERFACE ui{};
  ui.ShowUI = showUI ? 1 : 0;
  ui.ModalUI = modalUI ? 1 : 0;
  ui.hParent = parent_;
  TW_UINT16 rc = ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  if (rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS) state_ = 5;
  return rc;
}

TW_UINT16 TwainApp::Disable() {
  TW_USERINTERFACE ui{};
  ui.hParent = parent_;
  TW_UINT16 rc = ToSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  if (rc == TWRC_SUCCESS) state_ = 4;
  return rc;
}

TW_UINT16 TwainApp::WaitForSourceEvent() {
  MSG msg{};
  for (;;) {
    BOOL got = GetMessageA(&msg, 0, 0, 0);
    if (got == 0 || got == -1) return MSG_NULL;
    if (state_ >= 5) {
      TW_EVENT event{&msg, MSG_NULL};
      if (ToSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT) {
        if (event.TWMessage == MSG_XFERREADY) state_ = 6;
        if (event.TWMessage != MSG_NULL) return event.TWMessage;
        continue;
      }
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

TW_UINT16 TwainApp::ImageInfo(TW_IMAGEINFO& info) {
  info = TW_IMAGEINFO{};
  return ToSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
}

TW_UINT16 TwainApp::NativeXfer(TW_HANDLE& dib) {
  dib = 0;
  TW_UINT16 rc = ToSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
  if (rc == TWRC_XFERDONE || rc == TWRC_CANCEL) state_ = 7;
  return rc;
}

TW_UINT16 TwainApp::EndXfer(TW_PENDINGXFERS& pending) {
  pending = TW_PENDINGXFERS{};
  TW_UINT16 rc = ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
  if (rc == TWRC_SUCCESS) state_ = pending.Count != 0 ? 6 : 5;
  return rc;
}

TW_UINT16 TwainApp::ResetXfers(TW_PENDINGXFERS& pending) {
  pending = TW_PENDINGXFERS{};
  TW_UINT16 rc = ToSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
  if (rc == TWRC_SUCCESS) state_ = 5;
  return rc;
}

// ---- Capabilities ---------------------------------------------------------------------------------

TW_UINT16 TwainApp::Capability(TW_UINT16 msg, TW_UINT16 capId, TW_CAPABILITY& cap) {
  cap = TW_CAPABILITY{capId, TWON_DONTCARE16, 0};
  return ToSource(DG_CONTROL, DAT_CAPABILITY, msg, &cap);
}

TW_UINT16 TwainApp::SetOneValue(TW_UINT16 capId, TW_UINT16 itemType, TW_UINT32 item) {
  GlobalBlock block(GlobalAlloc(GHND, sizeof(TW_ONEVALUE)));
  auto* one = static_cast<pTW_ONEVALUE>(block.Lock());
  if (!one) return TWRC_FAILURE;
  one->ItemType = itemType;
  one->Item = item;
  block.Unlock();
  TW_CAPABILITY cap{capId, TWON_ONEVALUE, block.Get()};
  return ToSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
}

bool TwainApp::GetOneValue(TW_UINT16 capId, TW_UINT32& item) {
  TW_CAPABILITY cap{};
  if (Capability(MSG_GETCURRENT, capId, cap) != TWRC_SUCCESS) return false;
  GlobalBlock block(cap.hContainer);
  if (cap.ConType != TWON_ONEVALUE || block.Size() < sizeof(TW_ONEVALUE)) return false;
  auto* one = static_cast<pTW_ONEVALUE>(block.Lock());
  if (!one) return false;
  item = one->Item;
  return true;
}

TW_IDENTITY TwainApp::NamedIdentity(const std::string& productName) {
  TW_IDENTITY id{};
  CopyStr32(id.ProductName, productName);
  return id;
}

std::string TwainApp::Name(const TW_IDENTITY& id) {
  return std::string(id.ProductName, strnlen(id.ProductName, sizeof(id.ProductName)));
}

// ---- GlobalBlock ----------------------------------------------------------------------------------

GlobalBlock::~GlobalBlock() { Reset(); }

TW_HANDLE GlobalBlock::Release() {
  if (locked_) GlobalUnlock(handle_);
  locked_ = false;
  TW_HANDLE h = handle_;
  handle_ = 0;
  return h;
}

void GlobalBlock::Reset(TW_HANDLE handle) {
  if (handle_) {
    if (locked_) GlobalUnlock(handle_);
    GlobalFree(handle_);
  }
  locked_ = false;
  handle_ = handle;
}

void GlobalBlock::Unlock() {
  if (locked_) GlobalUnlock(handle_);
  locked_ = false;
}

size_t GlobalBlock::Size() const { return handle_ ? GlobalSize(handle_) : 0; }

void* GlobalBlock::Lock() {
  if (!handle_) return nullptr;
  if (locked_) {
    // Already locked once: GlobalLock again would nest the count; hand out the same address.
    void* p = GlobalLock(handle_);
    GlobalUnlock(handle_);
    return p;
  }
  void* p = GlobalLock(handle_);
  locked_ = p != nullptr;
  return p;
}

}  // namespace korven::test
