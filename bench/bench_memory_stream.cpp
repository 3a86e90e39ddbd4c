// TMemoryStream with a scanned page's worth of data (100 MB) against memcpy of the same bytes,
// measured in the same run: writing it in 64 KB pieces into an empty stream (growth by realloc) and
// LoadFromStream from another memory stream. Reported as ratio = stream speed / memcpy speed, once
// against memcpy into a buffer already touched and once against malloc + memcpy into fresh memory,
// which pays the same page faults a new stream does.
#include <benchmark/benchmark.h>
#include <vcl/Classes.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kBytes = 100u << 20;
constexpr size_t kPiece = 64u << 10;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_MemoryStreamVsMemcpy(benchmark::State& state) {
  std::vector<uint8_t> source(kBytes);
  for (size_t i = 0; i < kBytes; ++i) source[i] = static_cast<uint8_t>(i * 13);
  std::vector<uint8_t> target(kBytes, 1);
  vcl::TMemoryStream full;
  full.WriteBuffer(source.data(), kBytes);
  double memcpyTime = 0, freshTime = 0, writeTime = 0, loadTime = 0;
  for (auto _ : state) {
    auto f0 = std::chrono::steady_clock::now();
    {
      auto* fresh = static_cast<uint8_t*>(std::malloc(kBytes));
      std::memcpy(fresh, source.data(), kBytes);
      benchmark::DoNotOptimize(fresh);
      std::free(fresh);
    }
    freshTime += Seconds(std::chrono::steady_clock::now() - f0);
    auto t0 = std::chrono::steady_clock::now();
    std::memcpy(target.data(), source.data(), kBytes);
    benchmark::DoNotOptimize(target.data());
    auto t1 = std::chrono::steady_clock::now();
    {
      vcl::TMemoryStream grown;
      for (size_t off = 0; off < kBytes; off += kPiece) grown.WriteBuffer(source.data() + off, kPiece);
      benchmark::DoNotOptimize(grown.Memory());
    }
    auto t2 = std::chrono::steady_clock::now();
    vcl::TMemoryStream loaded;
    loaded.LoadFromStream(&full);
    benchmark::DoNotOptimize(loaded.Memory());
    auto t3 = std::chrono::steady_clock::now();
    memcpyTime += Seconds(t1 - t0);
    writeTime += Seconds(t2 - t1);
    loadTime += Seconds(t3 - t2);
  }
  state.counters["write_ratio"] = memcpyTime / writeTime;
  state.counters["load_ratio"] = memcpyTime / loadTime;
  state.counters["write_ratio_fresh"] = freshTime / writeTime;
  state.counters["load_ratio_fresh"] = freshTime / loadTime;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_MemoryStreamVsMemcpy)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
