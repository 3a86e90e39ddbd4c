#include "sane_api.h"

#include <algorithm>
#include <mutex>

// LeakSanitizer's switches, present only in sanitizer builds.
extern "C" {
__attribute__((weak)) void __lsan_disable();
__attribute__((weak)) void __lsan_enable();
}

namespace korven::saneds {

ForeignAllocations::ForeignAllocations() {
  if (__lsan_disable) __lsan_disable();
}

ForeignAllocations::~ForeignAllocations() {
  if (__lsan_enable) __lsan_enable();
}

namespace {

std::mutex& SessionMutex() {
  static std::mutex mu;
  return mu;
}
int sessionUsers = 0;

}  // namespace

bool SaneSession::Acquire(std::string& why) {
  std::lock_guard lock(SessionMutex());
  if (sessionUsers == 0) {
    SANE_Int version = 0;
    ForeignAllocations foreign;
    SANE_Status s = sane_init(&version, nullptr);
    if (s != SANE_STATUS_GOOD) {
      why = "sane_init failed: " + StatusText(s);
      return false;
    }
  }
  ++sessionUsers;
  return true;
}

void SaneSession::Release() {
  std::lock_guard lock(SessionMutex());
  if (sessionUsers > 0 && --sessionUsers == 0) {
    ForeignAllocations foreign;
    sane_exit();
  }
}

bool ListDevices(bool localOnly, std::vector<DeviceInfo>& out, std::string& why) {
  out.clear();
  const SANE_Device** list = nullptr;
  ForeignAllocations foreign;
  SANE_Status s = sane_get_devices(&list, localOnly ? SANE_TRUE : SANE_FALSE);
  if (s != SANE_STATUS_GOOD) {
    why = "sane_get_devices failed: " + StatusText(s);
    return false;
  }
  auto str = [](SANE_String_Const p) { return std::string(p ? p : ""); };
  for (size_t i = 0; list && list[i]; ++i) {
    if (!list[i]->name || !*list[i]->name) continue;
    out.push_back({str(list[i]->name), str(list[i]->vendor), str(list[i]->model), str(list[i]->type)});
  }
  return true;
}

std::string StatusName(SANE_Status s) {
  switch (s) {
    case SANE_STATUS_GOOD: return "SANE_STATUS_GOOD";
    case SANE_STATUS_UNSUPPORTED: return "SANE_STATUS_UNSUPPORTED";
    case SANE_STATUS_CANCELLED: return "SANE_STATUS_CANCELLED";
    case SANE_STATUS_DEVICE_BUSY: return "SANE_STATUS_DEVICE_BUSY";
    case SANE_STATUS_INVAL: return "SANE_STATUS_INVAL";
    case SANE_STATUS_EOF: return "SANE_STATUS_EOF";
    case SANE_STATUS_JAMMED: return "SANE_STATUS_JAMMED";
    case SANE_STATUS_NO_DOCS: return "SANE_STATUS_NO_DOCS";
    case SANE_STATUS_COVER_OPEN: return "SANE_STATUS_COVER_OPEN";
    case SANE_STATUS_IO_ERROR: return "SANE_STATUS_IO_ERROR";
    case SANE_STATUS_NO_MEM: return "SANE_STATUS_NO_MEM";
    case SANE_STATUS_ACCESS_DENIED: return "SANE_STATUS_ACCESS_DENIED";
  }
  return "SANE status " + std::to_string(int(s));
}

std::string StatusText(SANE_Status s) {
  const char* text = sane_strstatus(s);
  return std::string(text ? text : "unknown status") + " (" + StatusName(s) + ")";
}

TwainCode MapStatus(SANE_Status s) {
  switch (s) {
    case SANE_STATUS_GOOD: return {TWRC_SUCCESS, TWCC_SUCCESS};
    case SANE_STATUS_CANCELLED: return {TWRC_CANCEL, TWCC_SUCCESS};
    // Conditions of the device that a person must see to.
    case SANE_STATUS_JAMMED:
    case SANE_STATUS_NO_DOCS:
    case SANE_STATUS_COVER_OPEN: return {TWRC_FAILURE, TWCC_OPERATIONERROR};
    case SANE_STATUS_DEVICE_BUSY: return {TWRC_FAILURE, TWCC_MAXCONNECTIONS};
    case SANE_STATUS_INVAL: return {TWRC_FAILURE, TWCC_BADVALUE};
    case SANE_STATUS_UNSUPPORTED: return {TWRC_FAILURE, TWCC_BADPROTOCOL};
    case SANE_STATUS_NO_MEM: return {TWRC_FAILURE, TWCC_LOWMEMORY};
    case SANE_STATUS_EOF:
    case SANE_STATUS_IO_ERROR:
    case SANE_STATUS_ACCESS_DENIED: return {TWRC_FAILURE, TWCC_BUMMER};
  }
  return {TWRC_FAILURE, TWCC_BUMMER};
}

Watchdog::Watchdog(SANE_Handle handle, std::chrono::milliseconds timeout)
    : handle_(handle), timeout_(timeout), thread_([this] { Run(); }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard lock(mu_);
    quit_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

void Watchdog::Arm() {
  since_.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
  armed_.store(true, std::memory_order_release);
}

void Watchdog::Disarm() { armed_.store(false, std::memory_order_release); }

bool Watchdog::Fired() const { return fired_.load(std::memory_order_acquire); }

void Watchdog::Run() {
  using namespace std::chrono;
  const auto look = std::clamp<steady_clock::duration>(timeout_ / 4, milliseconds(5), seconds(1));
  std::unique_lock lock(mu_);
  while (!quit_ && !fired_) {
    cv_.wait_for(lock, look);
    if (quit_ || !armed_.load(std::memory_order_acquire)) continue;
    const steady_clock::time_point since{steady_clock::duration(since_.load(std::memory_order_relaxed))};
    if (steady_clock::now() - since >= timeout_ && armed_.load(std::memory_order_acquire)) {
      fired_.store(true, std::memory_order_release);
      lock.unlock();
      sane_cancel(handle_);  // the blocked call returns (SANE_STATUS_CANCELLED, as a rule)
      lock.lock();
    }
  }
}

}  // namespace korven::saneds
