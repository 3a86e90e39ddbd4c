// What SANE's list of devices depends on that can be looked at without asking SANE: the folders of
// SANE's configuration (dll.conf, dll.d/ and each backend's .conf) and the USB device nodes. The
// source keeps its last discovery while this signature stays the same, so a process lists and opens
// devices with one discovery (sane_get_devices) however often the manager is opened.
#ifndef KORVEN_SANE_LISTING_SIGNATURE_H
#define KORVEN_SANE_LISTING_SIGNATURE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korven::saneds {

class ListingSignature {
 public:
  // Looks at everything now. `configDirs` is $SANE_CONFIG_DIR as SANE reads it (nullptr: unset).
  static ListingSignature Take(const char* configDirs);
  // The folders SANE reads its configuration from, in SANE's order: the entries of `configDirs`
  // (split at ':'), SANE's default folders when it is unset or ends with ':'.
  static std::vector<std::string> ConfigFolders(const char* configDirs);

  // True when nothing has changed since `earlier` was taken. A file written shortly before
  // `earlier` (its time stamp may not change again on a quick rewrite) is compared by content too.
  bool Unchanged(const ListingSignature& earlier) const;

 private:
  struct Entry {
    std::string path;
    uintmax_t size = 0;
    int64_t mtime = 0;                 // nanoseconds of the file's clock
    std::optional<size_t> contentHash;  // files written shortly before the look
  };
  std::string configDirs_;
  bool configDirsSet_ = false;
  std::vector<Entry> entries_;
};

}  // namespace korven::saneds

#endif
