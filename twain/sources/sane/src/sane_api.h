// The thin layer over libsane that the rest of the source stands on: one SANE session per process
// (sane_init for the first user, sane_exit when the last lets go), device discovery, the text and
// the TWAIN codes of every SANE status, and a watchdog that cancels a device that stops answering.
#ifndef KORVEN_SANE_API_H
#define KORVEN_SANE_API_H

#include <korven/twainh.h>
#include <sane/sane.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korven::saneds {

// While it lives, what the calling thread allocates is not reported as leaked by a leak checker
// (LeakSanitizer, in sanitizer builds; nothing otherwise). Held around the calls into libsane that
// set up, open and close devices: SANE's backends keep some of that memory until the process ends,
// or are unloaded still holding it, and it is theirs, not ours.
class ForeignAllocations {
 public:
  ForeignAllocations();
  ~ForeignAllocations();
  ForeignAllocations(const ForeignAllocations&) = delete;
  ForeignAllocations& operator=(const ForeignAllocations&) = delete;
};

struct DeviceInfo {
  std::string name, vendor, model, type;
};

// sane_init on the first Acquire, sane_exit on the Release that balances the last one.
class SaneSession {
 public:
  static bool Acquire(std::string& why);
  static void Release();
};

// One sane_get_devices within an acquired session.
bool ListDevices(bool localOnly, std::vector<DeviceInfo>& out, std::string& why);

// "SANE_STATUS_JAMMED"; and "Document feeder jammed (SANE_STATUS_JAMMED)".
std::string StatusName(SANE_Status s);
std::string StatusText(SANE_Status s);

// The TWAIN answer for a SANE status: TWRC_SUCCESS, TWRC_CANCEL for SANE_STATUS_CANCELLED, otherwise
// TWRC_FAILURE with the condition code closest to the cause.
struct TwainCode {
  TW_UINT16 rc = TWRC_SUCCESS;
  TW_UINT16 cc = TWCC_SUCCESS;
};
TwainCode MapStatus(SANE_Status s);

// Cancels the device (sane_cancel, which SANE allows from another thread) when a blocking call made
// between Arm and Disarm does not return within the timeout. Fired() tells whether it did. Arm and
// Disarm only note the time (no lock, no wake-up: they surround every sane_read); the watchdog
// looks a few times per timeout.
class Watchdog {
 public:
  Watchdog(SANE_Handle handle, std::chrono::milliseconds timeout);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  void Arm();
  void Disarm();
  bool Fired() const;

 private:
  void Run();
  SANE_Handle handle_;
  std::chrono::milliseconds timeout_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool quit_ = false;
  std::atomic<bool> armed_{false}, fired_{false};
  std::atomic<std::chrono::steady_clock::rep> since_{0};  // when the call under watch began
  std::thread thread_;
};

}  // namespace korven::saneds

#endif
