// TWAIN_DrawDibToBitmap of a 24-bit A4 page (300 and 600 dpi) into a bitmap that is reused page
// after page or made fresh for every page, against memcpy of the same bytes between two warm,
// pre-faulted buffers, alternated with it in the same loop (ratio_to_memcpy; goal >= 0.5). Also the
// memory of one page allocated and converted, DIB included, as a multiple of the DIB (peak_x_dib:
// resident memory with both alive, less before, nothing kept for reuse).
#include "memcpy_reference.h"

#include <benchmark/benchmark.h>
#include <korven/Scanner.h>
#include <korven/platform.h>
#include <windows.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

using Clock = korven::bench::ThreadClock;

struct A4 {
  int32_t width, height;
  uint32_t rowBytes, imageBytes, dibBytes;
  explicit A4(int dpi)
      : width(int32_t(8.27 * dpi + 0.5)), height(int32_t(11.69 * dpi + 0.5)),
        rowBytes(uint32_t((width * 24 + 31) / 32 * 4)), imageBytes(rowBytes * uint32_t(height)),
        dibBytes(40 + imageBytes) {}
};

// A packed 24-bit DIB in global memory, every page touched.
HGLOBAL MakeDib(const A4& a) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, a.dibBytes);
  auto* p = static_cast<uint8_t*>(GlobalLock(h));
  uint32_t hdr[10] = {40, uint32_t(a.width), uint32_t(a.height), 1u | (24u << 16), 0, a.imageBytes, 0, 0, 0, 0};
  std::memcpy(p, hdr, sizeof hdr);
  for (uint32_t i = 40; i < a.dibBytes; ++i) p[i] = uint8_t(i * 13);
  GlobalUnlock(h);
  return h;
}

size_t ResidentBytes() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return size_t(resident) * size_t(sysconf(_SC_PAGESIZE));
}

// Resident growth from nothing to a DIB and its bitmap, both alive, divided by the DIB's size.
double PeakMultiple(const A4& a) {
  korven::platform::TrimLargeBuffers();  // no page kept from earlier runs may stand in for new ones
  korven::TScanner scanner(nullptr);
  size_t before = ResidentBytes();
  HGLOBAL dib = MakeDib(a);
  double multiple = 0;
  {
    vcl::TBitmap bmp;
    scanner.TWAIN_DrawDibToBitmap(&bmp, dib);
    multiple = double(ResidentBytes() - before) / a.dibBytes;
  }
  GlobalFree(dib);
  korven::platform::TrimLargeBuffers();
  return multiple;
}

void BM_DrawDibToBitmap(benchmark::State& state) {
  A4 a(int(state.range(0)));
  double peak = PeakMultiple(a);
  korven::TScanner scanner(nullptr);
  HGLOBAL dib = MakeDib(a);
  korven::bench::WarmCopy reference(a.dibBytes);

  // range(1) 0: one bitmap for every page, as the component draws each page into its own Bitmap;
  // 1: a new bitmap per page, which needs pixel memory of its own every time.
  const bool fresh = state.range(1) != 0;
  auto reused = std::make_unique<vcl::TBitmap>();
  scanner.TWAIN_DrawDibToBitmap(reused.get(), dib);  // the reused bitmap starts warm, as after page 1
  if (fresh) {
    vcl::TBitmap first;  // as after page 1: the first fresh bitmap's memory was faulted in once
    scanner.TWAIN_DrawDibToBitmap(&first, dib);
  }
  double seconds = 0, memcpySeconds = 0;
  for (auto _ : state) {
    memcpySeconds += reference.Once();
    auto t0 = Clock::now();
    std::unique_ptr<vcl::TBitmap> own = fresh ? std::make_unique<vcl::TBitmap>() : nullptr;
    vcl::TBitmap* bmp = fresh ? own.get() : reused.get();
    scanner.TWAIN_DrawDibToBitmap(bmp, dib);
    benchmark::DoNotOptimize(bmp->ScanLine(0));
    own.reset();
    seconds += std::chrono::duration<double>(Clock::now() - t0).count();
  }
  GlobalFree(dib);
  const double pages = double(state.iterations());
  state.SetBytesProcessed(int64_t(state.iterations()) * a.dibBytes);
  state.counters["dib_MB"] = a.dibBytes / 1e6;
  state.counters["memcpy_GBps"] = a.dibBytes * pages / memcpySeconds / 1e9;
  state.counters["ratio_to_memcpy"] = memcpySeconds / seconds;
  state.counters["peak_x_dib"] = peak;
}
BENCHMARK(BM_DrawDibToBitmap)
    ->ArgNames({"dpi", "fresh_bitmap"})
    ->Args({300, 0})
    ->Args({600, 0})
    ->Args({300, 1})
    ->Args({600, 1})
    ->MinTime(1.0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
