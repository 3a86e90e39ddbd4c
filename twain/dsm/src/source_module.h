// The data sources the manager finds and loads: one loaded .ds file (SourceModule) and the scan of
// the twain_32 folder that lists them (ScanSources).
#ifndef KORVEN_DSM_SOURCE_MODULE_H
#define KORVEN_DSM_SOURCE_MODULE_H

#include <korven/platform.h>
#include <korven/twainh.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace korven::dsm {

// One reference to a loaded data source library and its DS_Entry. The library is freed when the last
// shared owner lets go, so a call in progress keeps the code it runs in loaded even if its
// connection is closed meanwhile.
class SourceModule {
 public:
  // Loads the file with LoadLibraryA and binds DS_Entry; nullptr with `why` set when either fails.
  static std::shared_ptr<SourceModule> Load(const std::string& path, std::string& why);
  ~SourceModule();
  SourceModule(const SourceModule&) = delete;
  SourceModule& operator=(const SourceModule&) = delete;

  TW_UINT16 Call(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) const {
    return entry_(origin, dg, dat, msg, data);
  }
  // Asks the source for its condition code (DAT_STATUS) on behalf of `origin`; `fallback` when the
  // source does not answer or answers TWCC_SUCCESS after having refused something.
  TW_UINT16 Condition(pTW_IDENTITY origin, TW_UINT16 fallback) const;
  // Keeps the library loaded forever: used when the manager itself is being unloaded, where freeing
  // other libraries from inside the loader is not safe.
  void Abandon() { module_ = 0; }

 private:
  SourceModule(HMODULE module, DSENTRYPROC entry) : module_(module), entry_(entry) {}
  HMODULE module_;
  DSENTRYPROC entry_;
};

// A source found in the twain_32 folder: where it lives and the identity it reported (Id 0). A
// source that lists several identities (one per device it drives) is kept loaded while the listing
// lives, so what it found stays valid until the application opens one of them.
struct ListedSource {
  std::string path;
  TW_IDENTITY identity;
  std::shared_ptr<SourceModule> module;  // only for a source of several identities
  std::string ProductName() const;
};

// The most identities one source file may list; a longer list is cut there (the debug output says so).
constexpr size_t kMaxIdentitiesPerSource = 256;

// Lists every <name>.ds file below `windowsDir`/twain_32 (sub-folders included), ordered by path
// relative to that folder. Each file is loaded and asked for its identities with `origin` as the
// asking application:
//  - DG_CONTROL / DAT_IDENTITY / MSG_GETFIRST first. A source of several devices answers
//    TWRC_SUCCESS with its first identity and then MSG_GETNEXT with the others until TWRC_ENDOFLIST
//    (TWRC_ENDOFLIST at once: it has no device now, and is not listed). Such a source stays loaded
//    (ListedSource::module).
//  - Any other answer (a plain source does not know the question): DG_CONTROL / DAT_IDENTITY /
//    MSG_GET gives its one identity, and the file is freed again.
// A file that does not load, lacks DS_Entry, refuses the question, reports no ProductName or repeats
// one listed before is skipped, and the debug output says why.
std::vector<ListedSource> ScanSources(const std::string& windowsDir, const TW_IDENTITY& origin);

// Text of a TW_STR32 field: up to the first NUL, at most the 34 bytes of the field.
std::string Str32(const TW_STR32& field);
// Writes the debug output line "TWAIN_32: <text>".
void Trace(const std::string& text);

}  // namespace korven::dsm

#endif
