// Loading a scanned page into TBitmap against memcpy of the same bytes, measured in the same run.
//
// The page is 24-bit A4 at 600 dpi (4960 x 7016 pixels, about 104 MB), written once as a BMP file
// into a TMemoryStream. Each iteration copies the file's pixel bytes with memcpy into a buffer that
// is already mapped, then loads the whole file from the stream into the same TBitmap (which keeps
// its buffer for a page of the same size, as an application scanning page after page would).
// Reported: bytes per second of both, and ratio = load speed / memcpy speed (aim: >= 0.5).
#include <benchmark/benchmark.h>
#include <vcl/Graphics.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 4960, kHeight = 7016;

vcl::TMemoryStream& Page() {
  static vcl::TMemoryStream* page = [] {
    auto* stream = new vcl::TMemoryStream;
    vcl::TBitmap bitmap;
    bitmap.SetPixelFormat(vcl::pf24bit);
    bitmap.SetSize(kWidth, kHeight);
    bitmap.SetPelsPerMeter(23622, 23622);
    for (int y = 0; y < kHeight; ++y) {
      auto* row = static_cast<uint8_t*>(bitmap.ScanLine(y));
      for (size_t i = 0; i < bitmap.BytesPerScanLine(); ++i) row[i] = static_cast<uint8_t>(i * 7 + y);
    }
    bitmap.SaveToStream(stream);
    return stream;
  }();
  return *page;
}

void BM_BmpLoadVsMemcpy(benchmark::State& state) {
  vcl::TMemoryStream& page = Page();
  const auto* file = static_cast<const uint8_t*>(page.Memory());
  const size_t bytes = static_cast<size_t>(page.GetSize());
  std::vector<uint8_t> target(bytes, 1);
  vcl::TBitmap bitmap;
  double loadSeconds = 0, copySeconds = 0;
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    std::memcpy(target.data(), file, bytes);
    benchmark::ClobberMemory();
    const auto t1 = Clock::now();
    page.SetPosition(0);
    bitmap.LoadFromStream(&page);
    benchmark::DoNotOptimize(bitmap.ScanLine(0));
    const auto t2 = Clock::now();
    copySeconds += std::chrono::duration<double>(t1 - t0).count();
    const double load = std::chrono::duration<double>(t2 - t1).count();
    loadSeconds += load;
    state.SetIterationTime(load);
  }
  if (bitmap.GetWidth() != kWidth || bitmap.GetHeight() != kHeight) state.SkipWithError("page did not load");
  const double total = static_cast<double>(bytes) * static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(total));
  state.counters["load_bytes_per_second"] = benchmark::Counter(total / loadSeconds);
  state.counters["memcpy_bytes_per_second"] = benchmark::Counter(total / copySeconds);
  state.counters["ratio"] = benchmark::Counter(copySeconds / loadSeconds);
}

BENCHMARK(BM_BmpLoadVsMemcpy)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
