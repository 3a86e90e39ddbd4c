// Page-sized buffers: a scanned page's DIB and the bitmap it becomes are tens of megabytes, and
// malloc hands such a request to mmap, which faults the block in 4 KiB at a time and gives it back
// to the kernel at free. Here a large buffer is a mapping of its own, aligned to 2 MiB and offered
// transparent huge pages (madvise), and a freed one is kept for a short while: the next buffer of
// the same mapped size (the next page of a feeder batch, DIB after DIB) takes it back warm instead
// of faulting fresh zeroed memory in again.
#include <korven/platform.h>

#include <sys/mman.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace korven::platform {

namespace {

// The address sanitizer checks the exact end of every malloc block; a mapping rounded up to 2 MiB
// would hide an overrun past the end of a DIB, so sanitizer builds keep malloc for everything.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapLargeBuffers = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMapLargeBuffers = false;
#else
constexpr bool kMapLargeBuffers = true;
#endif
#else
constexpr bool kMapLargeBuffers = true;
#endif

constexpr size_t kHugePage = size_t{2} << 20;
// Kept: at most this many freed mappings, this many bytes, for this long.
constexpr size_t kKeptMappings = 2;
constexpr size_t kKeptBytes = size_t{512} << 20;
constexpr auto kKeptFor = std::chrono::seconds(2);

using Clock = std::chrono::steady_clock;

struct Kept {
  void* p;
  size_t mapped;
  Clock::time_point since;
};

std::mutex& KeptMutex() {
  static std::mutex m;
  return m;
}
std::vector<Kept>& KeptList() {
  static std::vector<Kept> kept;
  return kept;
}
size_t g_keptBytes = 0;

size_t Mapped(size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

void* MapFresh(size_t mapped) {
  // Over-map by one huge page so the buffer can start on a 2 MiB boundary, then trim both ends.
  void* raw = mmap(nullptr, mapped + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  auto begin = reinterpret_cast<uintptr_t>(raw);
  uintptr_t aligned = (begin + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
  if (aligned > begin) munmap(raw, aligned - begin);
  uintptr_t end = begin + mapped + kHugePage;
  if (end > aligned + mapped) munmap(reinterpret_cast<void*>(aligned + mapped), end - (aligned + mapped));
  void* p = reinterpret_cast<void*>(aligned);
  madvise(p, mapped, MADV_HUGEPAGE);  // a request: the kernel may decline and use small pages
  return p;
}

// Gives kept mappings that are too old back to the kernel; called with the lock held. The unmapped
// ones are collected so that munmap runs outside the lock.
void Expire(Clock::time_point now, std::vector<Kept>& out) {
  auto& kept = KeptList();
  for (size_t i = 0; i < kept.size();) {
    if (now - kept[i].since >= kKeptFor) {
      g_keptBytes -= kept[i].mapped;
      out.push_back(kept[i]);
      kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}

void Unmap(const std::vector<Kept>& list) {
  for (const Kept& k : list) munmap(k.p, k.mapped);
}

}  // namespace

bool IsLargeBuffer(size_t bytes) { return kMapLargeBuffers && bytes >= kLargeBufferThreshold; }

void* AllocateLargeBuffer(size_t bytes, bool zeroed) {
  if (!IsLargeBuffer(bytes)) {
    size_t n = bytes ? bytes : 1;
    return zeroed ? std::calloc(n, 1) : std::malloc(n);
  }
  const size_t mapped = Mapped(bytes);
  void* reused = nullptr;
  std::vector<Kept> expired;
  {
    std::lock_guard lock(KeptMutex());
    auto& kept = KeptList();
    // The most recently freed mapping of this size is the likeliest to be still in the caches.
    for (size_t i = kept.size(); i-- > 0;) {
      if (kept[i].mapped == mapped) {
        reused = kept[i].p;
        g_keptBytes -= mapped;
        kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
    Expire(Clock::now(), expired);
  }
  Unmap(expired);
  if (reused) {
    // Fresh mappings are zero already; a reused one is zeroed only when the caller asked for it.
    if (zeroed) std::memset(reused, 0, bytes);
    return reused;
  }
  return MapFresh(mapped);
}

void ReleaseLargeBuffer(void* p, size_t bytes) {
  if (!p) return;
  if (!IsLargeBuffer(bytes)) {
    std::free(p);
    return;
  }
  const size_t mapped = Mapped(bytes);
  std::vector<Kept> expired;
  {
    std::lock_guard lock(KeptMutex());
    auto now = Clock::now();
    Expire(now, expired);
    auto& kept = KeptList();
    kept.push_back(Kept{p, mapped, now});
    g_keptBytes += mapped;
    // Too many or too much: the oldest go first.
    while (kept.size() > kKeptMappings || g_keptBytes > kKeptBytes) {
      g_keptBytes -= kept.front().mapped;
      expired.push_back(kept.front());
      kept.erase(kept.begin());
    }
  }
  Unmap(expired);
}

void TrimLargeBuffers() {
  std::vector<Kept> all;
  {
    std::lock_guard lock(KeptMutex());
    all.swap(KeptList());
    g_keptBytes = 0;
  }
  Unmap(all);
}

size_t KeptLargeBufferBytes() {
  std::lock_guard lock(KeptMutex());
  return g_keptBytes;
}

}  // namespace korven::platform
