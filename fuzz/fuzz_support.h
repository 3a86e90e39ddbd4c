// What several fuzz targets share: a scratch folder for the run, the folder the target was built
// in, and libraries kept mapped for the whole run.
#ifndef KORVEN_FUZZ_SUPPORT_H
#define KORVEN_FUZZ_SUPPORT_H

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace korven::fuzz {

// A fresh folder for this run (removed at a normal exit), in memory where /dev/shm is there: the
// targets write files for every input (win.ini is written through with fsync), and a disk would
// make most of each input a wait.
inline std::string ScratchFolder(const std::string& name) {
  static std::vector<std::string> made;
  std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/korven-fuzz-" + name + "-XXXXXX";
  if (!mkdtemp(path.data())) std::abort();
  if (made.empty())
    std::atexit([] {
      std::error_code ec;
      for (const std::string& p : made) std::filesystem::remove_all(p, ec);
    });
  made.push_back(path);
  return path;
}

// The folder of this program (the build tree's fuzz/).
inline std::string ProgramFolder() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) std::abort();
  return self.parent_path().string();
}

// libFuzzer reads the coverage counters of every instrumented library it saw loaded, so one that is
// unloaded again faults the next input. The libraries a target loads and frees per input stay
// mapped for the whole run (which also spares mapping them for each input); LoadLibraryA and
// FreeLibrary still pair up as in any program, only the last FreeLibrary leaves the mapping (and
// the library's own state) in place.
inline void KeepMapped(const std::string& library) {
  if (!dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) std::abort();
}

}  // namespace korven::fuzz

#endif
