// The SANE source's own settings, read from sane.ini beside sane.ds (every key optional): how long a
// device may stay silent during a scan, and whether network devices are looked for. Which SANE
// backends are used is SANE's own configuration (dll.conf in $SANE_CONFIG_DIR or /etc/sane.d).
#ifndef KORVEN_SANE_CONFIG_H
#define KORVEN_SANE_CONFIG_H

#include <chrono>
#include <string>
#include <vector>

namespace korven::saneds {

struct Config {
  // A blocking call of a scan (sane_start, sane_read) that does not return within this time cancels
  // the scan and fails the transfer. 0: wait for ever.
  std::chrono::milliseconds readTimeout{60000};
  // Only devices attached to this machine (sane_get_devices' local_only).
  bool localOnly = false;
};

// Parses the text of sane.ini: `Key = Value` lines, `#` or `;` comments, `[Section]` lines ignored.
// Unknown keys and bad values are listed in `warnings` and leave the default.
Config ParseConfig(const std::string& text, std::vector<std::string>& warnings);

}  // namespace korven::saneds

#endif
