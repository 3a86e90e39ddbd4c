// libFuzzer target for what an application hands the manager (TWAIN_32.DLL) and the virtual scanner
// behind it: triplets in any order and state, with identities, capability containers of any type and
// size (or an invented handle), layouts, user-interface records, events pointing at any message,
// pending-transfer records; and the scanner's own configuration. Both answer every call with a
// return code; afterwards the session is brought down and nothing may be left: no global block that
// the application does not own, no window, no timer, no loaded module.
//
// Input: one byte N, then N bytes of the virtual scanner's .ini, then the calls.
#include <korven/desktop.h>
#include <korven/platform.h>
#include <korven/twainh.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

struct Stream {
  const uint8_t* p = nullptr;
  size_t n = 0;
  bool Empty() const { return n == 0; }
  uint8_t U8() {
    if (!n) return 0;
    --n;
    return *p++;
  }
  uint16_t U16() { return uint16_t(U8() | (U8() << 8)); }
  uint32_t U32() { return uint32_t(U16()) | (uint32_t(U16()) << 16); }
  void Bytes(void* out, size_t k) {
    size_t take = std::min(k, n);
    if (take) std::memcpy(out, p, take);
    std::memset(static_cast<uint8_t*>(out) + take, 0, k - take);
    p += take;
    n -= take;
  }
};

struct Triplet {
  TW_UINT32 dg;
  TW_UINT16 dat, msg;
};

const Triplet kTriplets[] = {
    {DG_CONTROL, DAT_PARENT, MSG_OPENDSM},          {DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM},
    {DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST},       {DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT},
    {DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT},     {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS},
    {DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS},        {DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT},
    {DG_CONTROL, DAT_IDENTITY, MSG_GET},            {DG_CONTROL, DAT_STATUS, MSG_GET},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GET},          {DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT},
    {DG_CONTROL, DAT_CAPABILITY, MSG_GETDEFAULT},   {DG_CONTROL, DAT_CAPABILITY, MSG_SET},
    {DG_CONTROL, DAT_CAPABILITY, MSG_RESET},        {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS},
    {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS}, {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET},        {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER},
    {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET},      {DG_CONTROL, DAT_XFERGROUP, MSG_GET},
    {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET},        {DG_IMAGE, DAT_IMAGEINFO, MSG_GET},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET},           {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GETDEFAULT},
    {DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET},           {DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET},
    {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET},       {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET},
    {DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET},
};

const char* const kNames[] = {"Fuzz Scanner", "Second", "", "fuzz scanner", "Fuzz Scanner and a name longer than 34"};

HGLOBAL Container(Stream& in, TW_UINT16& conType) {
  uint8_t t = in.U8();
  static const TW_UINT16 types[] = {TWON_ONEVALUE, TWON_ENUMERATION, TWON_RANGE, TWON_ARRAY};
  conType = t < 250 ? types[t % 4] : in.U16();
  if (in.U8() == 0xFF) return HGLOBAL(in.U32());  // not a block at all
  size_t size = in.U8() % 64;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
  if (h && size) {
    in.Bytes(GlobalLock(h), size);
    GlobalUnlock(h);
  }
  return h;
}

struct Session {
  DSMENTRYPROC entry = nullptr;
  TW_IDENTITY app{};
  std::vector<TW_IDENTITY> sources;  // what MSG_OPENDS gave back
  HWND parent = 0;
};

void Call(Stream& in, Session& s) {
  uint8_t pick = in.U8();
  Triplet t = pick < 240 ? kTriplets[pick % (sizeof kTriplets / sizeof kTriplets[0])]
                         : Triplet{in.U8() % 3u, in.U16(), in.U16()};
  // The destination: none, one of the sources opened, or an identity that names none.
  pTW_IDENTITY dest = nullptr;
  TW_IDENTITY invented{};
  uint8_t d = in.U8();
  if (d % 4 == 1 && !s.sources.empty()) dest = &s.sources[in.U8() % s.sources.size()];
  if (d % 4 == 2) {
    invented.Id = in.U32();
    dest = &invented;
  }
  // The data, as the triplet wants it (sometimes none).
  alignas(8) unsigned char buf[512] = {};
  TW_MEMREF data = buf;
  MSG msg{};
  if (in.U8() % 16 == 0) data = nullptr;
  switch (t.dat) {
    case DAT_PARENT:
      std::memcpy(buf, &s.parent, sizeof s.parent);
      if (in.U8() % 8 == 0) *reinterpret_cast<HWND*>(buf) = HWND(in.U32());
      break;
    case DAT_IDENTITY: {
      auto* id = reinterpret_cast<TW_IDENTITY*>(buf);
      if (t.msg == MSG_CLOSEDS && !s.sources.empty()) *id = s.sources[in.U8() % s.sources.size()];
      else std::strncpy(id->ProductName, kNames[in.U8() % 5], sizeof(TW_STR32));
      if (in.U8() % 8 == 0) in.Bytes(id, sizeof *id);
      break;
    }
    case DAT_CAPABILITY: {
      auto* cap = reinterpret_cast<TW_CAPABILITY*>(buf);
      cap->Cap = in.U8() < 200 ? TW_UINT16(0x1100 + in.U8() % 0x40) : in.U16();
      if (t.msg == MSG_SET) cap->hContainer = Container(in, cap->ConType);
      break;
    }
    case DAT_USERINTERFACE: {
      auto* ui = reinterpret_cast<TW_USERINTERFACE*>(buf);
      ui->ShowUI = in.U8() % 2;
      ui->ModalUI = in.U8() % 2;
      uint8_t h = in.U8();
      ui->hParent = h % 4 == 0 ? 0 : h % 4 == 3 ? HWND(in.U32()) : s.parent;
      break;
    }
    case DAT_EVENT: {
      auto* ev = reinterpret_cast<TW_EVENT*>(buf);
      // Whatever is queued (the source's own messages included), or a message made up.
      if (!PeekMessageA(&msg, 0, 0, 0, PM_REMOVE) || in.U8() % 4 == 0) {
        msg.message = in.U8() % 2 ? 0xC000 + in.U16() % 0x3FFF : in.U16();
        msg.wParam = in.U16();
        msg.lParam = in.U32();
      }
      ev->pEvent = in.U8() % 16 ? &msg : nullptr;
      break;
    }
    default:
      in.Bytes(buf, in.U8() % 64);
      break;
  }
  TW_UINT16 rc = s.entry(&s.app, dest, t.dg, t.dat, t.msg, data);
  if (std::getenv("FUZZ_DSM_DEBUG"))
    std::fprintf(stderr, "fuzz_dsm: DG %u DAT 0x%04X MSG 0x%04X to %u%s: rc %u, blocks %zu\n", unsigned(t.dg), t.dat,
                 t.msg, dest ? unsigned(dest->Id) : 0u, data ? "" : " (no data)", rc,
                 korven::platform::GlobalLiveBlocks());
  // What the application owns afterwards: the container it made for MSG_SET (also when the call
  // went out without the record), containers given out, DIBs transferred.
  if (t.dat == DAT_CAPABILITY) {
    auto* cap = reinterpret_cast<TW_CAPABILITY*>(buf);
    if (cap->hContainer && (t.msg == MSG_SET || GlobalSize(cap->hContainer))) GlobalFree(cap->hContainer);
  }
  if (!data) return;
  if (t.dat == DAT_IMAGENATIVEXFER && rc == TWRC_XFERDONE) GlobalFree(*reinterpret_cast<HGLOBAL*>(buf));
  if (t.dat == DAT_IDENTITY && t.msg == MSG_OPENDS && (rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS))
    s.sources.push_back(*reinterpret_cast<TW_IDENTITY*>(buf));
  if (t.dat == DAT_IDENTITY && t.msg == MSG_CLOSEDS && rc == TWRC_SUCCESS)
    for (size_t i = 0; i < s.sources.size(); ++i)
      if (s.sources[i].Id == reinterpret_cast<TW_IDENTITY*>(buf)->Id) s.sources.erase(s.sources.begin() + long(i));
}

// Brings every source the run opened down to closed, then the manager; false when that is refused
// (a source configured to refuse the end of a transfer for ever cannot be closed: its dialog and
// library then stay, as documented).
bool Down(Session& s) {
  for (TW_IDENTITY& id : s.sources) {
    TW_PENDINGXFERS p{};
    for (int i = 0; i < 3; ++i) s.entry(&s.app, &id, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &p);
    s.entry(&s.app, &id, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &p);
    TW_USERINTERFACE ui{0, 0, s.parent};
    s.entry(&s.app, &id, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    s.entry(&s.app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &id);
  }
  s.sources.clear();
  s.entry(&s.app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &s.parent);
  // Closed when the manager no longer knows the application: a second close is out of sequence.
  TW_STATUS st{};
  return s.entry(&s.app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &s.parent) == TWRC_FAILURE &&
         s.entry(&s.app, nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &st) == TWRC_SUCCESS;
}

std::string Setup() {
  std::string windows = korven::fuzz::ScratchFolder("dsm");
  std::string built = korven::fuzz::ProgramFolder() + "/../lib/korven/windows";
  if (symlink((built + "/TWAIN_32.DLL").c_str(), (windows + "/TWAIN_32.DLL").c_str()) != 0) std::abort();
  if (mkdir((windows + "/twain_32").c_str(), 0700) != 0) std::abort();
  if (symlink((built + "/twain_32/virtual.ds").c_str(), (windows + "/twain_32/fuzz.ds").c_str()) != 0) std::abort();
  korven::fuzz::KeepMapped(built + "/TWAIN_32.DLL");
  korven::fuzz::KeepMapped(built + "/twain_32/virtual.ds");
  korven::platform::SetWindowsDirectory(windows);
  korven::platform::SetProfilePath(windows + "/win.ini");
  if (!std::getenv("FUZZ_DSM_DEBUG")) korven::platform::SetDebugSink([](const std::string&) {});
  return windows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string windows = Setup();
  if (size < 2) return 0;
  size_t iniSize = std::min<size_t>(data[0], size - 1);
  std::ofstream(windows + "/twain_32/fuzz.ini", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data + 1), std::streamsize(iniSize));
  Stream in{data + 1 + iniSize, size - 1 - iniSize};

  const size_t blocks = korven::platform::GlobalLiveBlocks();
  const size_t windowsBefore = korven::platform::LiveWindowCount();
  const size_t timers = korven::platform::LiveTimerCount();
  const size_t modules = korven::platform::LoadedModuleCount();
  bool down = false;
  {
    korven::platform::ScriptedDesktop desktop;
    desktop.Always("Select").Always("OK").Always("Close");
    desktop.SetBlockLimitMs(0);
    korven::platform::ScopedDesktop scoped(desktop);
    Session s;
    s.parent = CreateWindowExA(0, "STATIC", "fuzz application", WS_CAPTION, 0, 0, 10, 10, 0, 0, 0, nullptr);
    std::strncpy(s.app.ProductName, "fuzz_dsm", sizeof(TW_STR32));
    s.app.ProtocolMajor = 1;
    s.app.ProtocolMinor = 8;
    s.app.SupportedGroups = DG_CONTROL | DG_IMAGE;
    HMODULE dsm = LoadLibraryA((windows + "/TWAIN_32.DLL").c_str());
    s.entry = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void (*)()>(GetProcAddress(dsm, "DSM_Entry")));
    if (!s.entry) std::abort();
    try {
      for (int calls = 0; !in.Empty() && calls < 64; ++calls) Call(in, s);
    } catch (const korven::platform::DesktopStalled&) {
    }
    down = Down(s);
    MSG m;
    while (PeekMessageA(&m, 0, 0, 0, PM_REMOVE)) {
    }
    DestroyWindow(s.parent);
    FreeLibrary(dsm);
  }
  if (korven::platform::GlobalLiveBlocks() != blocks) std::abort();  // a block nobody owns
  if (down && (korven::platform::LiveWindowCount() != windowsBefore || korven::platform::LiveTimerCount() != timers ||
               korven::platform::LoadedModuleCount() != modules))
    std::abort();  // something was left behind although everything closed
  return 0;
}
