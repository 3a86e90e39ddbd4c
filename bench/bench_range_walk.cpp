// TScanRange::NearestValue over ranges a source may report, next to the plain candidate-by-candidate
// walk measured in the same run: a UINT32 range 0..4294967295 step 1 (2^24 candidates before the walk
// stalls), the resolution range 1..1200 step 1, and 0.1..10 step 0.1.
#include <benchmark/benchmark.h>
#include <korven/Scanner.h>

#include <cmath>

namespace {

struct Range {
  float min, max, step, x;
};
const Range kRanges[] = {{0, 4294967295.0f, 1, 3e9f}, {1, 1200, 1, 600.4f}, {0.1f, 10, 0.1f, 10}};

float Plain(const Range& r) {
  float d = float(double(r.max) - double(r.min) + double(r.step));
  float result = r.x;
  for (float v = r.min; v <= r.max;) {
    double dist = std::fabs(double(v) - double(r.x));
    if (dist < d) {
      result = v;
      d = float(dist);
    }
    float next = float(double(v) + double(r.step));
    if (next == v) break;
    v = next;
  }
  return result;
}

void BM_NearestValue(benchmark::State& state) {
  const Range& r = kRanges[state.range(0)];
  korven::TScanner owner(nullptr);
  korven::TScanRange range(&owner);
  range.SetParam(korven::scBrightness, r.min, r.max, r.step, 0, ICAP_BRIGHTNESS);
  for (auto _ : state) benchmark::DoNotOptimize(range.NearestValue(r.x));
}

void BM_PlainWalk(benchmark::State& state) {
  const Range& r = kRanges[state.range(0)];
  for (auto _ : state) benchmark::DoNotOptimize(Plain(r));
}

}  // namespace

BENCHMARK(BM_NearestValue)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainWalk)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
