// The soak: many activations and acquisitions through TScanner against the virtual scanner, each with
// a random combination of the scanner's knobs, random settings, random Cancel and Abort, random
// MultiTransfer and ShowUI (a scripted person presses the dialog's buttons). After each one nothing
// may be left: no global block, window, timer, loaded module, open source or SourcesInUse entry, the
// session back down (state 1; for a component kept active the manager open, state 3 or 4, or
// unloaded after a refused transfer mode), and no acquisition longer than the wall-clock bound.
//
//   soak [--iterations N] [--seed S] [--bound-ms MS]      the random run; prints its figures
//   soak --shared WINDOWS_DIR --pages N --tag T           one of two processes scanning the same
//                                                         source at once: N pages, each noted in the
//                                                         profile under [Soak] as T-i
//   soak --check-profile N --tags T1,T2                   every note of both processes is there
// Exit 0 when every check held; the first failure is printed and ends the run with 1.
#include <korven/Scanner.h>
#include <korven/desktop.h>
#include <korven/platform.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vcl/Forms.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
namespace kp = korven::platform;

namespace {

// Exposes the session operations a person's "give up" needs.
class SoakScanner : public korven::TScanner {
 public:
  using TScanner::TScanner;
  using TScanner::TWAIN_CloseSource;
};

[[noreturn]] void Fail(const std::string& what, int iteration, const std::string& ini) {
  std::fprintf(stderr, "soak: iteration %d: %s\nknobs:\n%s\n", iteration, what.c_str(), ini.c_str());
  std::exit(1);
}

std::string Arg(int argc, char** argv, const char* name, const std::string& fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return fallback;
}
bool Has(int argc, char** argv, const char* name) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return true;
  return false;
}

fs::path BuildWindows() { return fs::path(KORVEN_BUILD_WINDOWS_DIR); }

// A private Windows directory with the built manager and the virtual scanner as twain_32/soak.ds.
fs::path MakeWindows() {
  std::string tmpl = (fs::temp_directory_path() / "korven-soak-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) std::exit(1);
  fs::path dir = tmpl;
  fs::create_directories(dir / "twain_32");
  fs::copy_file(BuildWindows() / "TWAIN_32.DLL", dir / "TWAIN_32.DLL");
  fs::copy_file(BuildWindows() / "twain_32" / "virtual.ds", dir / "twain_32" / "soak.ds");
  return dir;
}

// The knobs of one iteration: each one drawn with its own chance.
std::string RandomKnobs(std::mt19937& rng) {
  auto chance = [&](int percent) { return int(rng() % 100) < percent; };
  std::ostringstream ini;
  ini << "ProductName = Soak Scanner\n";
  if (chance(30)) ini << "ImagesPerScan = " << 1 + rng() % 3 << "\n";
  if (chance(15)) ini << "PendingCount = unknown\n";
  ini << "CloseWhenDone = " << (chance(30) ? "yes" : "no") << "\n";
  if (chance(20)) ini << "PagesLoaded = " << rng() % 4 << "\n";
  if (chance(10)) ini << "TransferResult = " << (chance(50) ? "cancel" : "failure") << "\n";
  if (chance(10)) ini << "RefuseEndXferCount = 1\n";
  if (chance(8)) ini << "RefuseEndXferAt = 2\n";
  if (chance(8)) ini << "RefuseEnableAfter = 1\n";
  if (chance(10)) ini << "AnnounceAfter = " << (chance(20) ? std::string("never") : std::to_string(5 + rng() % 30)) << "\n";
  if (chance(10)) ini << "DeliverDelay = " << rng() % 15 << "\n";
  if (chance(8)) ini << "StopAnsweringAfter = 1\n";
  if (chance(8)) ini << "CloseAfter = 1\n";
  if (chance(8)) ini << "DibTruncate = yes\n";
  if (chance(8)) ini << "DibColorTable = short\n";
  if (chance(8)) ini << "DibHeader = core\n";
  if (chance(8)) ini << "RefuseImageInfo = yes\n";
  if (chance(8)) ini << "EnableResult = checkstatus\n";
  if (chance(5)) ini << "RefuseNative = yes\n";
  if (chance(8)) ini << "Resolutions = 75, 100, 150\n";
  if (chance(8)) ini << "Container = ICAP_BRIGHTNESS:enumeration\n";
  return ini.str();
}

struct Counts {
  size_t blocks, windows, timers, modules;
  static Counts Now() {
    return {kp::GlobalLiveBlocks(), kp::LiveWindowCount(), kp::LiveTimerCount(), kp::LoadedModuleCount()};
  }
  bool operator==(const Counts&) const = default;
};

int RandomRun(int iterations, unsigned seed, int boundMs) {
  fs::path windows = MakeWindows();
  kp::SetWindowsDirectory(windows.string());
  kp::SetProfilePath((windows / "win.ini").string());
  kp::SetDebugSink([](const std::string&) {});
  std::mt19937 rng(seed);
  std::set<std::string> combinations;
  int pages = 0, watchdogs = 0, errors = 0;
  auto start = std::chrono::steady_clock::now();
  const Counts baseline = Counts::Now();
  static SoakScanner* current = nullptr;

  for (int i = 1; i <= iterations; ++i) {
    std::string ini = RandomKnobs(rng);
    combinations.insert(ini);
    std::ofstream(windows / "twain_32" / "soak.ini", std::ios::trunc) << ini;
    auto chance = [&](int percent) { return int(rng() % 100) < percent; };

    kp::ScriptedDesktop desktop;
    // The person: scans from the dialog, closes it when Scan is off, answers every message with OK.
    desktop.Always("Scan", "Soak Scanner").Always("Close", "Soak Scanner").Always("OK").Always("Select");
    desktop.SetBlockLimitMs(boundMs);
    kp::ScopedDesktop scoped(desktop);
    auto t0 = std::chrono::steady_clock::now();
    {
      SoakScanner s(nullptr);
      current = &s;
      s.SetShowUI(chance(30));
      s.SetMultiTransfer(chance(40));
      s.SetUseCurrentValue(chance(50));
      s.SetPixelType(korven::TScanPixelType(rng() % 4));
      s.GetResolution()->SetValue(float(50 + rng() % 60));
      s.GetBrightness()->SetValue(float(int(rng() % 400) - 200));
      if (chance(30)) s.SetFeederEnabled(true);
      s.SetBounds(0.3f, 0.3f, 1.5f, 1.5f);
      const bool keepActive = chance(25);
      const int cancelBefore = chance(10) ? 1 + int(rng() % 3) : 0;
      const int cancelAfter = chance(15) ? 1 + int(rng() % 3) : 4;  // a flatbed under a person scans for ever
      int before = 0, after = 0;
      s.SetOnBeforeScan([&](vcl::TObject*, const korven::TScanImageInfo&, bool& cancel) {
        cancel = ++before == cancelBefore;
      });
      s.SetOnAfterScan([&](vcl::TObject*, vcl::TBitmap* b, bool& cancel) {
        if (!b || b->GetWidth() <= 0) Fail("a page without pixels", i, ini);
        ++pages;
        cancel = ++after >= cancelAfter;
      });
      // Abort from a timer now and then; and a person who gives up after a while, closing the source
      // (a source that never announces, or stopped answering, waits for that).
      UINT_PTR abortTimer = chance(15) ? SetTimer(0, 0, 1 + rng() % 40, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(0, id);
        current->Abort();
      })
                                       : 0;
      static int gaveUp;
      gaveUp = 0;
      UINT_PTR giveUp = SetTimer(0, 0, 400, [](HWND, UINT, UINT_PTR, DWORD) {
        ++gaveUp;
        current->TWAIN_CloseSource();
      });
      try {
        if (keepActive) s.SetActive(true);
        s.Execute();
        if (keepActive && chance(50)) s.Execute();  // again on the same session
      } catch (const vcl::Exception&) {
        ++errors;  // the component's own failures (an assertion of a refused end of transfer, say)
      } catch (const kp::DesktopStalled& e) {
        Fail(std::string("the acquisition waited with nobody able to act: ") + e.what(), i, ini);
      }
      watchdogs += gaveUp > 0;
      KillTimer(0, giveUp);
      if (abortTimer) KillTimer(0, abortTimer);
      // Inactive: all the way down. Active: the manager open (state 3, the source open or closed by its
      // user), or unloaded after a source refused native transfer; never enabled or transferring.
      auto state = s.GetState();
      if (s.GetActive() ? state > korven::tsSOURCE_OPEN || state == korven::tsSM_LOADED : state != korven::tsPRESESSION)
        Fail("the session is in state " + std::to_string(int(state) + 1), i, ini);
      current = nullptr;
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    if (ms > boundMs) Fail("the acquisition took " + std::to_string(ms) + " ms", i, ini);
    MSG m;
    while (PeekMessageA(&m, 0, 0, 0, PM_REMOVE)) {
    }
    if (!(Counts::Now() == baseline)) Fail("a block, window, timer or module was left behind", i, ini);
    if (korven::SourcesInUse->Count() != 0) Fail("a source was left open", i, ini);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  std::printf("soak: %d iterations, %zu knob combinations, %d pages, %d given up by the person, %d component "
              "errors, %.1f s, peak memory %ld MB\n",
              iterations, combinations.size(), pages, watchdogs, errors, seconds, ru.ru_maxrss / 1024);
  fs::remove_all(windows);
  return 0;
}

// One of two processes scanning the same source at once; every page and every profile note counts.
int SharedRun(const fs::path& windows, int pages, const std::string& tag) {
  kp::SetWindowsDirectory(windows.string());
  kp::SetProfilePath((windows / "win.ini").string());
  kp::ScriptedDesktop desktop;
  desktop.Always("OK");
  kp::ScopedDesktop scoped(desktop);
  int got = 0;
  for (int i = 0; i < pages; ++i) {
    korven::TScanner s(nullptr);
    s.SetShowUI(false);
    s.SetSourceName("Soak Scanner");
    s.GetResolution()->SetValue(50);
    s.SetBounds(0.3f, 0.3f, 1, 1);
    s.SetOnAfterScan([&](vcl::TObject*, vcl::TBitmap*, bool&) { ++got; });
    if (!s.Execute()) {
      std::fprintf(stderr, "soak %s: page %d was not scanned\n", tag.c_str(), i + 1);
      return 1;
    }
    std::string key = tag + "-" + std::to_string(i);
    if (!WriteProfileStringA("Soak", key.c_str(), "done")) {
      std::fprintf(stderr, "soak %s: the profile could not be written\n", tag.c_str());
      return 1;
    }
  }
  if (got != pages) return 1;
  std::printf("soak %s: %d pages scanned, %d notes written\n", tag.c_str(), got, pages);
  return 0;
}

int CheckProfile(const fs::path& windows, int pages, const std::string& tags) {
  kp::SetProfilePath((windows / "win.ini").string());
  int missing = 0;
  std::stringstream list(tags);
  for (std::string tag; std::getline(list, tag, ',');)
    for (int i = 0; i < pages; ++i) {
      char value[16];
      GetProfileStringA("Soak", (tag + "-" + std::to_string(i)).c_str(), "", value, sizeof value);
      if (std::string(value) != "done") ++missing;
    }
  if (missing) std::fprintf(stderr, "soak: %d profile notes lost\n", missing);
  else std::printf("soak: every profile note of both processes is there\n");
  return missing ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (Has(argc, argv, "--make-windows")) {
    fs::path dir = MakeWindows();
    std::ofstream(dir / "twain_32" / "soak.ini") << "ProductName = Soak Scanner\nCloseWhenDone = no\nMaxConnections = 4\n";
    std::printf("%s\n", dir.c_str());
    return 0;
  }
  if (Has(argc, argv, "--shared"))
    return SharedRun(Arg(argc, argv, "--shared", ""), std::stoi(Arg(argc, argv, "--pages", "10")),
                     Arg(argc, argv, "--tag", "a"));
  if (Has(argc, argv, "--check-profile"))
    return CheckProfile(Arg(argc, argv, "--windows", ""), std::stoi(Arg(argc, argv, "--check-profile", "10")),
                        Arg(argc, argv, "--tags", "a,b"));
  return RandomRun(std::stoi(Arg(argc, argv, "--iterations", "1000")),
                   unsigned(std::stoul(Arg(argc, argv, "--seed", "15"))), std::stoi(Arg(argc, argv, "--bound-ms", "10000")));
}
