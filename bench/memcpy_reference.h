// The reference every throughput ratio in bench/ is measured against: memcpy between two warm,
// pre-faulted buffers of the same size, the fastest this machine moves those bytes. Both buffers
// are aligned to 2 MiB and offered transparent huge pages (as large global blocks and bitmaps get
// them), written once before timing, and the copy is repeated: the best of the runs is the
// reference, so it never pays for page faults or a cold TLB.
#ifndef KORVEN_BENCH_MEMCPY_REFERENCE_H
#define KORVEN_BENCH_MEMCPY_REFERENCE_H

#include <sys/mman.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace korven::bench {

// The calling thread's CPU time (user + system) as a chrono clock. Every benchmark times with it:
// page faults, copies and the kernel's work for the thread count, the time the thread waits while
// other programs run on a shared machine does not. Unloaded, it is the wall time of the work.
struct ThreadClock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<ThreadClock>;
  static constexpr bool is_steady = true;
  static time_point now() noexcept {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return time_point(duration(int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec));
  }
};

class WarmBuffer {
 public:
  explicit WarmBuffer(size_t bytes) : bytes_(bytes), mapped_(RoundUp(bytes ? bytes : 1)) {
    void* p = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    madvise(p, mapped_, MADV_HUGEPAGE);  // a hint; the reference is honest either way
    data_ = static_cast<uint8_t*>(p);
    for (size_t i = 0; i < bytes_; ++i) data_[i] = static_cast<uint8_t>(i * 13 + 7);
  }
  ~WarmBuffer() { munmap(data_, mapped_); }
  WarmBuffer(const WarmBuffer&) = delete;
  WarmBuffer& operator=(const WarmBuffer&) = delete;
  uint8_t* data() { return data_; }
  size_t size() const { return bytes_; }

 private:
  static size_t RoundUp(size_t n) { return (n + (2u << 20) - 1) & ~size_t((2u << 20) - 1); }
  size_t bytes_, mapped_;
  uint8_t* data_;
};

// memcpy between two warm buffers of `bytes`, timed one copy at a time, so a benchmark can run it
// between its own iterations (A/B alternated: load on the machine hits both sides alike).
class WarmCopy {
 public:
  explicit WarmCopy(size_t bytes) : from_(bytes), to_(bytes) {
    std::memcpy(to_.data(), from_.data(), bytes);  // every page of both mapped before any timing
  }
  // Seconds of one copy.
  double Once() {
    auto t0 = ThreadClock::now();
    std::memcpy(to_.data(), from_.data(), from_.size());
    asm volatile("" : : "r"(to_.data()) : "memory");
    return std::chrono::duration<double>(ThreadClock::now() - t0).count();
  }
  // Seconds of the fastest of `runs` copies.
  double Best(int runs = 7) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) best = std::min(best, Once());
    return best;
  }

 private:
  WarmBuffer from_, to_;
};

}  // namespace korven::bench

#endif
