// TMemoryStream with a scanned page's worth of data (100 MB) against memcpy of the same bytes
// between two warm, pre-faulted buffers, alternated with it in the same loop: writing it in 64 KB
// pieces into an empty stream (growth by realloc) and LoadFromStream from another memory stream.
// Reported as ratio = stream speed / memcpy speed. A new stream pays for fresh memory that the
// reference does not: the ratio says what that costs.
#include "memcpy_reference.h"

#include <benchmark/benchmark.h>
#include <vcl/Classes.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kBytes = 100u << 20;
constexpr size_t kPiece = 64u << 10;

double Seconds(korven::bench::ThreadClock::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_MemoryStreamVsMemcpy(benchmark::State& state) {
  std::vector<uint8_t> source(kBytes);
  for (size_t i = 0; i < kBytes; ++i) source[i] = static_cast<uint8_t>(i * 13);
  korven::bench::WarmCopy reference(kBytes);
  vcl::TMemoryStream full;
  full.WriteBuffer(source.data(), kBytes);
  double memcpyTime = 0, writeTime = 0, loadTime = 0;
  for (auto _ : state) {
    memcpyTime += reference.Once();
    auto t1 = korven::bench::ThreadClock::now();
    {
      vcl::TMemoryStream grown;
      for (size_t off = 0; off < kBytes; off += kPiece) grown.WriteBuffer(source.data() + off, kPiece);
      benchmark::DoNotOptimize(grown.Memory());
    }
    auto t2 = korven::bench::ThreadClock::now();
    vcl::TMemoryStream loaded;
    loaded.LoadFromStream(&full);
    benchmark::DoNotOptimize(loaded.Memory());
    auto t3 = korven::bench::ThreadClock::now();
    writeTime += Seconds(t2 - t1);
    loadTime += Seconds(t3 - t2);
  }
  state.counters["write_ratio"] = memcpyTime / writeTime;
  state.counters["load_ratio"] = memcpyTime / loadTime;
  state.counters["memcpy_GBps"] = double(kBytes) * double(state.iterations()) / memcpyTime / 1e9;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_MemoryStreamVsMemcpy)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
