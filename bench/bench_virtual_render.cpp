// How fast the virtual scanner renders a page, against memcpy of the same number of bytes between
// two warm, pre-faulted buffers, alternated with it in the same loop. One iteration is a whole native transfer through DS_Entry: enable, the announcement,
// DAT_IMAGENATIVEXFER of an A4 page at 300 dpi (2480 x 3508; 26 MB in 24-bit colour), MSG_ENDXFER,
// disable, and freeing the DIB. The counter "render/memcpy" is the render rate divided by the memcpy
// rate: 1.0 would be a page as cheap as copying its bytes once. The argument is the pixel type
// (TWPT_RGB 2, TWPT_GRAY 1, TWPT_BW 0).
#include "direct_source.h"
#include "memcpy_reference.h"

#include <benchmark/benchmark.h>
#include <korven/platform.h>
#include <korven/twainh.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

void BM_RenderA4At300VsMemcpy(benchmark::State& state) {
  korven::bench::DirectSource scanner(std::string(KORVEN_BUILD_WINDOWS_DIR) + "/twain_32/virtual.ds",
                                       static_cast<TW_UINT16>(state.range(0)));
  HGLOBAL first = scanner.Scan();
  const size_t bytes = GlobalSize(first);
  GlobalFree(first);
  korven::bench::WarmCopy reference(bytes);

  using Clock = korven::bench::ThreadClock;
  double renderSeconds = 0, copySeconds = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    HGLOBAL dib = scanner.Scan();
    auto t1 = Clock::now();
    GlobalFree(dib);
    copySeconds += reference.Once();
    renderSeconds += std::chrono::duration<double>(t1 - t0).count();
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
