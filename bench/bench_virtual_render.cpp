// How fast the virtual scanner renders a page, against memcpy of the same number of bytes in the
// same run. One iteration is a whole native transfer through DS_Entry: enable, the announcement,
// DAT_IMAGENATIVEXFER of an A4 page at 300 dpi (2480 x 3508; 26 MB in 24-bit colour), MSG_ENDXFER,
// disable, and freeing the DIB. The counter "render/memcpy" is the render rate divided by the memcpy
// rate: 1.0 would be a page as cheap as copying its bytes once. The argument is the pixel type
// (TWPT_RGB 2, TWPT_GRAY 1, TWPT_BW 0).
#include <benchmark/benchmark.h>
#include <korven/platform.h>
#include <korven/twainh.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class VirtualScanner {
 public:
  explicit VirtualScanner(TW_UINT16 pixelType) {
    std::string path = std::string(KORVEN_BUILD_WINDOWS_DIR) + "/twain_32/virtual.ds";
    module_ = LoadLibraryA(path.c_str());
    if (!module_) throw std::runtime_error("cannot load " + path);
    entry_ = reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void (*)()>(GetProcAddress(module_, "DS_Entry")));
    app_.Id = 4711;
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "KorvenBenchVirtual";
    RegisterClassA(&wc);
    parent_ = CreateWindowExA(0, "KorvenBenchVirtual", "bench", 0, 0, 0, 10, 10, 0, 0, 0, nullptr);
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
  ~VirtualScanner() {
    Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, nullptr);
    DestroyWindow(parent_);
    FreeLibrary(module_);
  }

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

void BM_RenderA4At300VsMemcpy(benchmark::State& state) {
  VirtualScanner scanner(static_cast<TW_UINT16>(state.range(0)));
  HGLOBAL first = scanner.Scan();
  const size_t bytes = GlobalSize(first);
  GlobalFree(first);
  std::vector<char> from(bytes, 1), to(bytes);

  using Clock = std::chrono::steady_clock;
  double renderSeconds = 0, copySeconds = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    HGLOBAL dib = scanner.Scan();
    auto t1 = Clock::now();
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::ClobberMemory();
    auto t2 = Clock::now();
    GlobalFree(dib);
    renderSeconds += std::chrono::duration<double>(t1 - t0).count();
    copySeconds += std::chrono::duration<double>(t2 - t1).count();
  }
  const double total = double(bytes) * state.iterations();
  state.counters["render_MB/s"] = total / renderSeconds / 1e6;
  state.counters["memcpy_MB/s"] = total / copySeconds / 1e6;
  state.counters["render/memcpy"] = copySeconds / renderSeconds;
  state.SetBytesProcessed(static_cast<int64_t>(total));
}
BENCHMARK(BM_RenderA4At300VsMemcpy)->Arg(TWPT_RGB)->Arg(TWPT_GRAY)->Arg(TWPT_BW)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
