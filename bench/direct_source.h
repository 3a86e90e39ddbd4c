// A virtual scanner driven straight through its DS_Entry, without the manager: the reference the
// benchmarks measure korven against. It opens one connection, asks for an A4 page at 300 dpi in the
// given pixel type, and scans one page per call (enable, the announcement, the native transfer,
// MSG_ENDXFER, disable).
#ifndef KORVEN_BENCH_DIRECT_SOURCE_H
#define KORVEN_BENCH_DIRECT_SOURCE_H

#include <korven/twainh.h>
#include <windows.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace korven::bench {

class DirectSource {
 public:
  DirectSource(const std::string& dsPath, TW_UINT16 pixelType) {
    module_ = LoadLibraryA(dsPath.c_str());
    if (!module_) throw std::runtime_error("cannot load " + dsPath);
    entry_ = reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void (*)()>(GetProcAddress(module_, "DS_Entry")));
    if (!entry_) throw std::runtime_error(dsPath + " has no DS_Entry");
    app_.Id = 4711;
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "KorvenBenchDirectSource";
    RegisterClassA(&wc);  // a second source in the same process finds it registered
    parent_ = CreateWindowExA(0, "KorvenBenchDirectSource", "bench", 0, 0, 0, 10, 10, 0, 0, 0, nullptr);
    TW_IDENTITY source{};
    Check(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source), TWRC_SUCCESS, "MSG_OPENDS");
    SetOne(ICAP_PIXELTYPE, TWTY_UINT16, pixelType);
    SetOne(ICAP_UNITS, TWTY_UINT16, TWUN_CENTIMETERS);
    TW_FIX32 res{300, 0};
    TW_UINT32 item;
    std::memcpy(&item, &res, 4);
    SetOne(ICAP_XRESOLUTION, TWTY_FIX32, item);
    SetOne(ICAP_YRESOLUTION, TWTY_FIX32, item);
    TW_IMAGELAYOUT layout{};
    layout.Frame.Right = Fix(21.0);
    layout.Frame.Bottom = Fix(29.7);
    Check(Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS, "DAT_IMAGELAYOUT");
  }
  ~DirectSource() {
    Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr);
    DestroyWindow(parent_);
    FreeLibrary(module_);
  }
  DirectSource(const DirectSource&) = delete;
  DirectSource& operator=(const DirectSource&) = delete;

  // One page from state 4 back to state 4; returns the DIB, which the caller frees.
  HGLOBAL Scan() {
    TW_USERINTERFACE ui{0, 0, parent_};
    Check(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS, "MSG_ENABLEDS");
    MSG msg{};
    if (!PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) throw std::runtime_error("no announcement");
    TW_EVENT event{&msg, MSG_NULL};
    Check(Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_DSEVENT, "MSG_PROCESSEVENT");
    TW_HANDLE dib = 0;
    Check(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE, "DAT_IMAGENATIVEXFER");
    TW_PENDINGXFERS pending{};
    Check(Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS, "MSG_ENDXFER");
    Check(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui), TWRC_SUCCESS, "MSG_DISABLEDS");
    return dib;
  }

 private:
  static TW_FIX32 Fix(double v) {
    int32_t raw = static_cast<int32_t>(v * 65536 + 0.5);
    return TW_FIX32{static_cast<TW_INT16>(raw >> 16), static_cast<TW_UINT16>(raw & 0xFFFF)};
  }
  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) { return entry_(&app_, dg, dat, msg, data); }
  static void Check(TW_UINT16 rc, TW_UINT16 want, const char* what) {
    if (rc != want) throw std::runtime_error(std::string(what) + " answered " + std::to_string(rc));
  }
  void SetOne(TW_UINT16 cap, TW_UINT16 type, TW_UINT32 item) {
    HGLOBAL h = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
    auto* one = static_cast<TW_ONEVALUE*>(GlobalLock(h));
    one->ItemType = type;
    one->Item = item;
    GlobalUnlock(h);
    TW_CAPABILITY c{cap, TWON_ONEVALUE, h};
    TW_UINT16 rc = Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
    GlobalFree(h);
    Check(rc, TWRC_SUCCESS, "MSG_SET");
  }

  HMODULE module_ = 0;
  DSENTRYPROC entry_ = nullptr;
  HWND parent_ = 0;
  TW_IDENTITY app_{};
};

}  // namespace korven::bench

#endif
