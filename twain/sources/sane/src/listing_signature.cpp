#include "listing_signature.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace korven::saneds {

namespace {

// SANE's own folders when $SANE_CONFIG_DIR does not replace them (Debian's libsane1).
const char* const kDefaultConfigFolders[] = {".", "/etc/sane.d"};
// Where USB devices appear and go as device nodes, one folder per bus.
const char kUsbBuses[] = "/dev/bus/usb";
// A file stamped within this time of the look may be rewritten without its stamp changing (file
// systems keep coarse clocks), so its content is compared too.
constexpr auto kSettle = std::chrono::seconds(2);

std::optional<size_t> ContentHash(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return std::hash<std::string>{}(text);
}

}  // namespace

std::vector<std::string> ListingSignature::ConfigFolders(const char* configDirs) {
  std::vector<std::string> folders;
  bool defaults = true;
  if (configDirs && *configDirs) {
    std::string dirs = configDirs;
    defaults = dirs.back() == ':';
    for (size_t start = 0; start < dirs.size();) {
      size_t end = dirs.find(':', start);
      if (end == std::string::npos) end = dirs.size();
      if (end > start) folders.push_back(dirs.substr(start, end - start));
      start = end + 1;
    }
  }
  if (defaults) folders.insert(folders.end(), std::begin(kDefaultConfigFolders), std::end(kDefaultConfigFolders));
  return folders;
}

ListingSignature ListingSignature::Take(const char* configDirs) {
  ListingSignature s;
  s.configDirsSet_ = configDirs != nullptr;
  s.configDirs_ = configDirs ? configDirs : "";
  const auto now = fs::file_time_type::clock::now();
  std::error_code ec;
  auto addFolder = [&](const fs::path& folder) {
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      if (!it->is_regular_file(ec)) continue;
      Entry e;
      e.path = it->path().string();
      e.size = it->file_size(ec);
      const auto stamp = it->last_write_time(ec);
      if (ec) continue;
      e.mtime = std::chrono::duration_cast<std::chrono::nanoseconds>(stamp.time_since_epoch()).count();
      if (now - stamp < kSettle) e.contentHash = ContentHash(e.path);
      s.entries_.push_back(std::move(e));
    }
    ec.clear();
  };
  for (const std::string& folder : ConfigFolders(configDirs)) {
    addFolder(folder);
    addFolder(fs::path(folder) / "dll.d");
  }
  // A device plugged in or pulled out adds or removes a node; its name is all that matters.
  for (fs::directory_iterator bus(kUsbBuses, ec), end; !ec && bus != end; bus.increment(ec)) {
    std::error_code inner;
    for (fs::directory_iterator it(bus->path(), inner), stop; !inner && it != stop; it.increment(inner))
      s.entries_.push_back(Entry{it->path().string(), 0, 0, std::nullopt});
  }
  std::sort(s.entries_.begin(), s.entries_.end(), [](const Entry& a, const Entry& b) { return a.path < b.path; });
  return s;
}

bool ListingSignature::Unchanged(const ListingSignature& earlier) const {
  if (configDirsSet_ != earlier.configDirsSet_ || configDirs_ != earlier.configDirs_) return false;
  if (entries_.size() != earlier.entries_.size()) return false;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry &now = entries_[i], &then = earlier.entries_[i];
    if (now.path != then.path || now.size != then.size || now.mtime != then.mtime) return false;
    if (then.contentHash && (now.contentHash ? now.contentHash : ContentHash(now.path)) != then.contentHash) return false;
  }
  return true;
}

}  // namespace korven::saneds
