// TWAIN_DrawDibToBitmap of a 24-bit A4 page (300 and 600 dpi) into a bitmap that is reused page
// after page or made fresh for every page, against memcpy of the same bytes between two warm,
// pre-faulted buffers, alternated with it in the same loop (ratio_to_memcpy; goal >= 0.5). Also the
// peak memory of allocating and converting one page as a multiple of the DIB (peak_x_dib; a forked
// child's getrusage high-water mark, so it counts the DIB itself).
#include "memcpy_reference.h"

#include <benchmark/benchmark.h>
#include <korven/Scanner.h>
#include <korven/platform.h>
#include <windows.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

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

long MaxRssKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Peak growth of the process during allocation and conversion of one page, divided by the DIB size.
double PeakMultiple(const A4& a) {
  int fd[2];
  if (pipe(fd) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    korven::platform::TrimLargeBuffers();  // pages the parent kept must not hide the child's own
    long before = MaxRssKiB();
    korven::TScanner scanner(nullptr);
    HGLOBAL dib = MakeDib(a);
    {
      vcl::TBitmap bmp;
      scanner.TWAIN_DrawDibToBitmap(&bmp, dib);
    }
    double multiple = double(MaxRssKiB() - before) * 1024.0 / a.dibBytes;
    ssize_t n = write(fd[1], &multiple, sizeof multiple);
    _exit(n == sizeof multiple ? 0 : 1);
  }
  double multiple = -1;
  close(fd[1]);
  if (read(fd[0], &multiple, sizeof multiple) != sizeof multiple) multiple = -1;
  close(fd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
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
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
