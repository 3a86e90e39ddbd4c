// A capability set-and-read-back round trip (ICAP_BRIGHTNESS as TW_FIX32) from TScanner through the
// substitute TWAIN_32.DLL to the virtual scanner of the build tree, in microseconds. The goal is an
// absolute one (3 us a round trip): x_goal is the time as a multiple of it (<= 1 meets it).
#include "memcpy_reference.h"

#include <benchmark/benchmark.h>
#include <korven/Scanner.h>
#include <korven/desktop.h>
#include <korven/platform.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void BM_SetAndReadBack(benchmark::State& state) {
  korven::platform::SetWindowsDirectory(KORVEN_BUILD_WINDOWS_DIR);
  // The manager remembers the default source per user: keep the user's own file out of it.
  std::string profile = "/tmp/korven-bench-caps-" + std::to_string(getpid()) + ".ini";
  korven::platform::SetProfilePath(profile);
  korven::platform::DefaultDesktop quiet(true);
  korven::platform::ScopedDesktop desktop(quiet);
  {
    korven::TScanner scanner(nullptr);
    if (!scanner.TWAIN_OpenDefaultSource(scanner.GetHandle())) {
      state.SkipWithError("the virtual scanner does not open (is it built?)");
    } else {
      float v = 0;
      auto t0 = korven::bench::ThreadClock::now();
      for (auto _ : state) {
        v = v >= 100 ? -100 : v + 10;
        bool ok = scanner.TWAIN_SetCapFix32(ICAP_BRIGHTNESS, v);
        float back = scanner.TWAIN_GetCapFix32(ICAP_BRIGHTNESS, -9999);
        if (!ok || back != v) {
          state.SkipWithError("the round trip did not give the value back");
          break;
        }
      }
      double us = std::chrono::duration<double, std::micro>(korven::bench::ThreadClock::now() - t0).count() /
                  double(state.iterations());
      state.counters["us"] = us;
      state.counters["x_goal"] = us / 3.0;
    }
  }
  std::remove(profile.c_str());
  korven::platform::SetProfilePath("");
  korven::platform::SetWindowsDirectory("");
}
BENCHMARK(BM_SetAndReadBack)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
