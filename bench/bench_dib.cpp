// TWAIN_DrawDibToBitmap of a 24-bit A4 page (300 and 600 dpi): throughput, its ratio to memcpy of
// the same bytes measured in the same run (ratio_to_memcpy, aim >= 0.35), and the peak memory of
// allocating and converting one page as a multiple of the DIB (peak_x_dib, aim <= 3.1; measured in
// a forked child from getrusage's high-water mark, so it counts the DIB itself).
#include <benchmark/benchmark.h>
#include <korven/Scanner.h>
#include <windows.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

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

  // memcpy of the same bytes, best of five, as the reference of this run.
  std::vector<uint8_t> dst(a.dibBytes);
  const void* src = GlobalLock(dib);
  double memcpySeconds = 1e9;
  for (int i = 0; i < 5; ++i) {
    auto t0 = Clock::now();
    std::memcpy(dst.data(), src, a.dibBytes);
    benchmark::DoNotOptimize(dst.data());
    memcpySeconds = std::min(memcpySeconds, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  GlobalUnlock(dib);

  // range(1) 0: one bitmap for every page, as the component draws each page into its own Bitmap;
  // 1: a new bitmap per page, paying for fresh pixel memory every time.
  const bool fresh = state.range(1) != 0;
  auto reused = std::make_unique<vcl::TBitmap>();
  double seconds = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    std::unique_ptr<vcl::TBitmap> own = fresh ? std::make_unique<vcl::TBitmap>() : nullptr;
    vcl::TBitmap* bmp = fresh ? own.get() : reused.get();
    scanner.TWAIN_DrawDibToBitmap(bmp, dib);
    benchmark::DoNotOptimize(bmp->ScanLine(0));
    own.reset();
    seconds += std::chrono::duration<double>(Clock::now() - t0).count();
  }
  GlobalFree(dib);
  double perPage = seconds / double(state.iterations());
  state.SetBytesProcessed(int64_t(state.iterations()) * a.dibBytes);
  state.counters["dib_MB"] = a.dibBytes / 1e6;
  state.counters["memcpy_GBps"] = a.dibBytes / memcpySeconds / 1e9;
  state.counters["ratio_to_memcpy"] = memcpySeconds / perPage;
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
