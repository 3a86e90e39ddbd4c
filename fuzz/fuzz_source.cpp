// libFuzzer target for everything a data source (and the manager) hands the component: a fuzzing
// source whose every answer comes from the fuzz input (return codes, condition codes, identities,
// containers of any type and size or a bad handle, image information, layouts, DIBs, pending
// counts, the TWAIN message of each processed event), driven through TScanner activation, Execute
// (single and MultiTransfer, with and without the source's dialog), settings and Reset.
//
// The input starts with the operations to run; the answers follow. Whatever the answers, the
// component must raise at most its own exceptions (or the desktop's when it would wait for ever),
// and once it is destroyed leave no global block, window, timer or loaded module behind.
#include <korven/Scanner.h>
#include <korven/desktop.h>
#include <korven/platform.h>
#include <unistd.h>
#include <vcl/Forms.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

using FuzzDsmHandler = TW_UINT16 (*)(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF);

// The fuzz input as a stream; zeros once it is used up.
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

Stream in;
UINT eventMessage = 0;
HWND eventWindow = 0;
std::vector<HGLOBAL> handedOnFailure;  // blocks given out with a failing answer: nobody owns them

TW_UINT16 Code() {
  static const TW_UINT16 codes[] = {TWRC_SUCCESS, TWRC_SUCCESS, TWRC_SUCCESS, TWRC_FAILURE, TWRC_CHECKSTATUS,
                                    TWRC_CANCEL,  TWRC_DSEVENT, TWRC_NOTDSEVENT, TWRC_XFERDONE, TWRC_ENDOFLIST};
  uint8_t b = in.U8();
  return b < 200 ? codes[b % 10] : TW_UINT16(b);
}

void Post() {
  if (eventWindow && IsWindow(eventWindow)) PostMessageA(eventWindow, eventMessage, 0, 0);
  else PostThreadMessageA(GetCurrentThreadId(), eventMessage, 0, 0);
}

// A block of global memory filled from the input, or now and then a handle that is none.
HGLOBAL Block(size_t wanted) {
  uint8_t how = in.U8();
  if (how == 0xFF) return HGLOBAL(in.U32());  // an invented handle
  size_t size = how < 0xC0 ? wanted : wanted * (how & 3) / 4 + (how >> 2 & 7);  // sometimes short
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!h) return 0;
  if (size) {
    in.Bytes(GlobalLock(h), size);
    GlobalUnlock(h);
  }
  return h;
}

HGLOBAL Container(TW_UINT16& conType) {
  static const TW_UINT16 types[] = {TWON_ONEVALUE, TWON_ENUMERATION, TWON_RANGE, TWON_ARRAY};
  uint8_t t = in.U8();
  conType = t < 250 ? types[t % 4] : TW_UINT16(in.U16());
  size_t size = conType == TWON_ONEVALUE ? 6 : conType == TWON_RANGE ? 22 : 14 + (in.U8() % 16) * 4;
  return Block(size);
}

HGLOBAL Dib() {
  // Mostly a plausible header with fuzzed fields and pixels, so that the reader goes past its checks.
  uint8_t kind = in.U8();
  if (kind >= 0xF0) return Block(in.U16());
  static const uint16_t bits[] = {1, 4, 8, 16, 24, 32, 15, 2};
  int32_t w = int32_t(in.U8() % 64) + 1 - (kind == 1), h = int32_t(int8_t(in.U8()));
  uint16_t bpp = bits[in.U8() % 8];
  uint32_t colors = in.U8() % 2 ? in.U16() : 0;
  size_t row = ((size_t(std::max(w, 0)) * bpp + 31) / 32) * 4;
  size_t pixels = row * size_t(h < 0 ? -h : h);
  size_t table = bpp <= 8 ? size_t(colors ? colors : 1u << bpp) * 4 : 0;
  size_t size = 40 + std::min<size_t>(table, 1 << 12) + pixels;
  if (kind & 0x80) size = size * (kind & 7) / 8;  // short of what the header announces
  HGLOBAL hd = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!hd) return 0;
  auto* p = static_cast<uint8_t*>(GlobalLock(hd));
  in.Bytes(p, size);
  // BITMAPINFOHEADER, little-endian: size, width, height, planes, bit count, compression, image size,
  // two resolutions, colours used, colours important.
  uint8_t bi[40] = {};
  auto put = [&bi](size_t at, uint32_t v, size_t n) {
    for (size_t i = 0; i < n; ++i) bi[at + i] = uint8_t(v >> (8 * i));
  };
  put(0, kind & 0x40 ? in.U32() : 40, 4);
  put(4, uint32_t(w), 4);
  put(8, uint32_t(h), 4);
  put(12, 1, 2);
  put(14, bpp, 2);
  put(16, kind & 0x20 ? in.U8() % 4 : 0, 4);
  put(20, kind & 0x10 ? in.U32() : 0, 4);
  put(32, colors, 4);
  std::memcpy(p, bi, std::min<size_t>(sizeof bi, size));
  GlobalUnlock(hd);
  return hd;
}

TW_UINT16 Answer(pTW_IDENTITY, pTW_IDENTITY dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
  // Once the input is used up, everything that brings the session down succeeds, the rest fails.
  if (in.Empty()) {
    if (DAT == DAT_EVENT && pData) {
      static_cast<TW_EVENT*>(pData)->TWMessage = MSG_CLOSEDSREQ;
      return TWRC_DSEVENT;
    }
    if (DAT == DAT_PENDINGXFERS && pData) static_cast<TW_PENDINGXFERS*>(pData)->Count = 0;
    bool down = (DAT == DAT_PARENT && MSG == MSG_CLOSEDSM) || (DAT == DAT_IDENTITY && MSG == MSG_CLOSEDS) ||
                (DAT == DAT_USERINTERFACE && MSG == MSG_DISABLEDS) ||
                (DAT == DAT_PENDINGXFERS && (MSG == MSG_ENDXFER || MSG == MSG_RESET));
    return down ? TWRC_SUCCESS : TWRC_FAILURE;
  }
  TW_UINT16 rc = Code();
  if (!pData) return rc;
  (void)DG;
  switch (DAT) {
    case DAT_STATUS:
      static_cast<TW_STATUS*>(pData)->ConditionCode = in.U8();
      break;
    case DAT_PARENT:
      break;
    case DAT_IDENTITY:
      if (MSG != MSG_CLOSEDS) {
        auto* id = static_cast<TW_IDENTITY*>(pData);
        // Names from a short list, so that opening by name can meet them; the rest of the record fuzzed.
        in.Bytes(id, sizeof *id);
        static const char* names[] = {"Fuzz Scanner", "Other", "", "Fuzz Scanner "};
        if (in.U8() % 2) std::strncpy(id->ProductName, names[in.U8() % 4], sizeof(TW_STR32));
        if (MSG == MSG_OPENDS && dest == nullptr && rc == TWRC_SUCCESS && id->Id == 0) id->Id = 1;
      }
      break;
    case DAT_CAPABILITY: {
      auto* cap = static_cast<TW_CAPABILITY*>(pData);
      if (MSG == MSG_SET) break;
      bool withContainer = rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS || in.U8() % 4 == 0;
      if (withContainer) {
        cap->hContainer = Container(cap->ConType);
        if (rc != TWRC_SUCCESS && rc != TWRC_CHECKSTATUS && GlobalSize(cap->hContainer))
          handedOnFailure.push_back(cap->hContainer);
      }
      break;
    }
    case DAT_USERINTERFACE:
      if (MSG == MSG_ENABLEDS) {
        eventWindow = static_cast<TW_USERINTERFACE*>(pData)->hParent;
        if (rc != TWRC_FAILURE) Post();
      }
      break;
    case DAT_EVENT: {
      auto* ev = static_cast<TW_EVENT*>(pData);
      static const TW_UINT16 messages[] = {MSG_NULL, MSG_XFERREADY, MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_CLOSEDSOK};
      uint8_t m = in.U8();
      ev->TWMessage = m < 250 ? messages[m % 5] : in.U16();
      if (in.U8() % 8) Post();  // keep the loop fed
      break;
    }
    case DAT_PENDINGXFERS: {
      uint8_t c = in.U8();
      static_cast<TW_PENDINGXFERS*>(pData)->Count = c < 200 ? c % 4 : c < 230 ? 0xFFFF : in.U16();
      break;
    }
    case DAT_IMAGEINFO:
      in.Bytes(pData, sizeof(TW_IMAGEINFO));
      break;
    case DAT_IMAGELAYOUT:
      if (MSG != MSG_SET) in.Bytes(pData, sizeof(TW_IMAGELAYOUT));
      break;
    case DAT_IMAGENATIVEXFER: {
      auto* h = static_cast<TW_HANDLE*>(pData);
      if (rc == TWRC_XFERDONE || in.U8() % 8 == 0) {
        *h = Dib();
        if (rc != TWRC_XFERDONE && GlobalSize(*h)) handedOnFailure.push_back(*h);
      }
      break;
    }
    default:
      break;
  }
  return rc;
}

std::string Setup() {
  std::string windows = korven::fuzz::ScratchFolder("source");
  // The stand-in manager, built beside this program.
  std::string stub = korven::fuzz::ProgramFolder() + "/windows/TWAIN_32.DLL";
  if (symlink(stub.c_str(), (windows + "/TWAIN_32.DLL").c_str()) != 0) std::abort();
  korven::platform::SetWindowsDirectory(windows);
  korven::platform::SetProfilePath(windows + "/win.ini");
  if (!std::getenv("FUZZ_SOURCE_DEBUG")) korven::platform::SetDebugSink([](const std::string&) {});
  HMODULE stubModule = LoadLibraryA((windows + "/TWAIN_32.DLL").c_str());
  auto set = reinterpret_cast<void (*)(FuzzDsmHandler)>(
      reinterpret_cast<void (*)()>(GetProcAddress(stubModule, "FuzzDsmSetHandler")));
  if (!set) std::abort();
  set(&Answer);  // the module stays loaded (one reference of ours) for the whole run
  eventMessage = RegisterWindowMessageA("korven fuzz source event");
  return windows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string windows = Setup();
  if (size < 4) return 0;
  // The operations: up to 8 bytes, one operation each, before the answers.
  size_t ops = 1 + data[0] % 8;
  if (size < 1 + ops) return 0;
  const uint8_t* op = data + 1;
  in = Stream{data + 1 + ops, size - 1 - ops};
  eventWindow = 0;

  const size_t blocks = korven::platform::GlobalLiveBlocks();
  const size_t windowsBefore = korven::platform::LiveWindowCount();
  const size_t timers = korven::platform::LiveTimerCount();
  const size_t modules = korven::platform::LoadedModuleCount();
  {
    korven::platform::ScriptedDesktop desktop;
    desktop.Always("OK").Always("Select");
    desktop.SetBlockLimitMs(0);
    desktop.SetTimerOnlyLimitMs(0);
    korven::platform::ScopedDesktop scoped(desktop);
    korven::TScanner s(nullptr);
    int delivered = 0;
    s.SetOnAfterScan([&](vcl::TObject*, vcl::TBitmap* b, bool& cancel) {
      if (!b || b->GetWidth() <= 0) std::abort();  // a page handed on is a page
      cancel = ++delivered > 20;
    });
    for (size_t i = 0; i < ops; ++i) {
      uint8_t o = op[i];
      try {
        s.SetShowUI(o & 0x10);
        s.SetMultiTransfer(o & 0x20);
        s.SetUseCurrentValue(o & 0x40);
        switch (o & 0x0F) {
          case 0: case 1: case 2: s.Execute(); break;
          case 3: s.SetActive(true); break;
          case 4: s.SetActive(false); break;
          case 5: s.Reset(); break;
          case 6: s.SetFeederEnabled(o & 0x80); break;
          case 7: s.SetPixelType(korven::TScanPixelType(o >> 6)); break;
          case 8: s.GetResolution()->SetValue(float(o) * 7); break;
          case 9: s.GetBrightness()->SetValue(float(int8_t(o)) * 8); break;
          case 10: s.SetBitDepth(o >> 4); break;
          case 11: s.SetSourceName(o & 0x80 ? "Fuzz Scanner" : "Other"); break;
          case 12: s.SetAutoBright(o & 0x80); break;
          case 13: s.SetUnitMode(korven::TScanUnitMode((o >> 4) % 6)); break;
          case 14: s.GetBrightness()->NearestValue(float(o)); s.GetResolution()->NearestValue(1e9f); break;
          default: s.GetSourceNames(); break;
        }
      } catch (const vcl::Exception&) {
      } catch (const korven::platform::DesktopStalled&) {
      }
    }
    // The teardown: from here on the manager and the source let the session go down (one that
    // refuses MSG_CLOSEDSM for ever keeps its library loaded, as the component's destructor is
    // specified to leave it).
    in = Stream{};
    try {
      s.SetActive(false);
    } catch (const vcl::Exception&) {
    }
  }
  // Every component that opened a source has closed it again.
  if (korven::SourcesInUse->Count() != 0) std::abort();
  // The session is down; what the source gave out on failing answers was nobody's.
  for (HGLOBAL h : handedOnFailure) GlobalFree(h);
  handedOnFailure.clear();
  MSG m;
  while (PeekMessageA(&m, 0, 0, 0, PM_REMOVE)) {
  }
  if (korven::platform::GlobalLiveBlocks() != blocks || korven::platform::LiveWindowCount() != windowsBefore ||
      korven::platform::LiveTimerCount() != timers || korven::platform::LoadedModuleCount() != modules) {
    std::fprintf(stderr, "left behind: blocks %zu -> %zu, windows %zu -> %zu, timers %zu -> %zu, modules %zu -> %zu\n",
                 blocks, korven::platform::GlobalLiveBlocks(), windowsBefore, korven::platform::LiveWindowCount(),
                 timers, korven::platform::LiveTimerCount(), modules, korven::platform::LoadedModuleCount());
    std::abort();
  }
  return 0;
}
