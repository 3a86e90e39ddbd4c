// Loading a scanned page from a BMP file in a TMemoryStream into TBitmap, against memcpy of the same
// bytes between two warm, pre-faulted buffers, alternated with it in the same loop.
//
// The page is 24-bit A4 at 300 dpi (2480 x 3508, 26 MB) or 600 dpi (4960 x 7016, 104 MB), written
// once. The bitmap is either reused page after page (it keeps its buffer for a page of the same
// size, as an application scanning page after page does) or made fresh for every page.
// Reported: ratio = load speed / memcpy speed (goal: >= 0.5).
#include "memcpy_reference.h"

#include <benchmark/benchmark.h>
#include <vcl/Graphics.h>

#include <chrono>
#include <cstring>
#include <memory>

namespace {

std::unique_ptr<vcl::TMemoryStream> Page(int width, int height) {
  auto stream = std::make_unique<vcl::TMemoryStream>();
  vcl::TBitmap bitmap;
  bitmap.SetPixelFormat(vcl::pf24bit);
  bitmap.SetSize(width, height);
  bitmap.SetPelsPerMeter(23622, 23622);
  for (int y = 0; y < height; ++y) {
    auto* row = static_cast<uint8_t*>(bitmap.ScanLine(y));
    for (size_t i = 0; i < bitmap.BytesPerScanLine(); ++i) row[i] = static_cast<uint8_t>(i * 7 + y);
  }
  bitmap.SaveToStream(stream.get());
  return stream;
}

void BM_BmpLoadVsMemcpy(benchmark::State& state) {
  const int dpi = int(state.range(0));
  const int width = dpi == 600 ? 4960 : 2480, height = dpi == 600 ? 7016 : 3508;
  const bool fresh = state.range(1) != 0;
  auto page = Page(width, height);
  const size_t bytes = static_cast<size_t>(page->GetSize());
  korven::bench::WarmCopy reference(bytes);
  vcl::TBitmap reused;
  page->SetPosition(0);
  reused.LoadFromStream(page.get());  // warm, as after the first page
  double loadSeconds = 0, copySeconds = 0;
  using Clock = korven::bench::ThreadClock;
  for (auto _ : state) {
    copySeconds += reference.Once();
    const auto t0 = Clock::now();
    std::unique_ptr<vcl::TBitmap> own = fresh ? std::make_unique<vcl::TBitmap>() : nullptr;
    vcl::TBitmap& bitmap = fresh ? *own : reused;
    page->SetPosition(0);
    bitmap.LoadFromStream(page.get());
    benchmark::DoNotOptimize(bitmap.ScanLine(0));
    if (bitmap.GetWidth() != width || bitmap.GetHeight() != height) state.SkipWithError("page did not load");
    own.reset();
    const double load = std::chrono::duration<double>(Clock::now() - t0).count();
    loadSeconds += load;
    state.SetIterationTime(load);
  }
  const double total = static_cast<double>(bytes) * static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(total));
  state.counters["load_bytes_per_second"] = benchmark::Counter(total / loadSeconds);
  state.counters["memcpy_bytes_per_second"] = benchmark::Counter(total / copySeconds);
  state.counters["ratio"] = benchmark::Counter(copySeconds / loadSeconds);
}

BENCHMARK(BM_BmpLoadVsMemcpy)
    ->ArgNames({"dpi", "fresh_bitmap"})
    ->Args({300, 0})
    ->Args({600, 0})
    ->Args({300, 1})
    ->Args({600, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
