// libFuzzer target for the manager's source listing given a folder of arbitrary files: up to four
// files (named *.ds, *.DS, *.txt, or in a sub-folder) with any content are put beside a working
// virtual scanner in twain_32/, and an application opens the manager and lists the sources. Every
// file that is no source is skipped (damaged images refused before the system loader maps them);
// the working scanner is always listed, and nothing stays loaded once the manager is closed.
//
// Input: for each file, a byte choosing its name, a 16-bit length, then its bytes.
#include <korven/desktop.h>
#include <korven/platform.h>
#include <korven/twainh.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_support.h"

namespace fs = std::filesystem;

namespace {

std::string Setup() {
  std::string windows = korven::fuzz::ScratchFolder("listing");
  std::string built = korven::fuzz::ProgramFolder() + "/../lib/korven/windows";
  if (symlink((built + "/TWAIN_32.DLL").c_str(), (windows + "/TWAIN_32.DLL").c_str()) != 0) std::abort();
  korven::fuzz::KeepMapped(built + "/TWAIN_32.DLL");
  korven::fuzz::KeepMapped(built + "/twain_32/virtual.ds");
  korven::platform::SetWindowsDirectory(windows);
  korven::platform::SetProfilePath(windows + "/win.ini");
  korven::platform::SetDebugSink([](const std::string&) {});
  // The built scanner's path, to link into each run's folder.
  std::ofstream(windows + "/virtual.path") << built + "/twain_32/virtual.ds";
  return windows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string windows = Setup();
  static const std::string virtualDs = [] {
    std::ifstream in(windows + "/virtual.path");
    std::string p;
    std::getline(in, p);
    return p;
  }();
  const fs::path folder = fs::path(windows) / "twain_32";
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder / "sub", ec);
  if (symlink(virtualDs.c_str(), (folder / "good.ds").c_str()) != 0) std::abort();

  static const char* const names[] = {"a.ds", "b.DS", "sub/c.ds", "d.txt", "zz.ds", "sub/e.Ds", "f.ds.ds", "good.ini"};
  size_t at = 0;
  for (int file = 0; file < 4 && at + 3 <= size; ++file) {
    const char* name = names[data[at] % 8];
    size_t len = std::min<size_t>(data[at + 1] | (data[at + 2] << 8), size - at - 3);
    std::ofstream(folder / name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data + at + 3), std::streamsize(len));
    at += 3 + len;
  }

  const size_t modules = korven::platform::LoadedModuleCount();
  korven::platform::ScriptedDesktop desktop;
  desktop.SetBlockLimitMs(0);
  korven::platform::ScopedDesktop scoped(desktop);
  HMODULE dsm = LoadLibraryA((windows + "/TWAIN_32.DLL").c_str());
  auto entry = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void (*)()>(GetProcAddress(dsm, "DSM_Entry")));
  if (!entry) std::abort();
  TW_IDENTITY app{};
  std::strncpy(app.ProductName, "fuzz_listing", sizeof(TW_STR32));
  HWND parent = CreateWindowExA(0, "STATIC", "fuzz application", WS_CAPTION, 0, 0, 10, 10, 0, 0, 0, nullptr);
  if (entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent) != TWRC_SUCCESS) std::abort();
  bool good = false;
  TW_IDENTITY id{};
  for (TW_UINT16 msg = MSG_GETFIRST; entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, msg, &id) == TWRC_SUCCESS;
       msg = MSG_GETNEXT) {
    if (strnlen(id.ProductName, sizeof(TW_STR32)) == sizeof(TW_STR32)) std::abort();  // listed names end
    good |= std::strcmp(id.ProductName, "Virtual Scanner") == 0;
  }
  if (!good && !fs::exists(folder / "good.ini")) std::abort();  // the working scanner is always listed
  if (entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent) != TWRC_SUCCESS) std::abort();
  DestroyWindow(parent);
  FreeLibrary(dsm);
  if (korven::platform::LoadedModuleCount() != modules) std::abort();
  return 0;
}
