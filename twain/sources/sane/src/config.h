// The SANE source's own settings, read from sane.ini beside sane.ds (every key optional): how long a
// device may stay silent during a scan, whether network devices are looked for, and how long a list
// of devices is kept. Which SANE
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
  // How long one discovery's list of devices is used again while SANE's configuration and the USB
  // devices stay as they were. 0: every listing discovers anew.
  std::chrono::milliseconds listingLifetime{60000};
};

// Parses the text of sane.ini: `Key = Value` lines, `#` or `;` comments, `[Section]` lines ignored.
// Unknown keys and bad values are listed in `warnings` and leave the default.
Config ParseConfig(const std::string& text, std::vector<std::string>& warnings);

}  // namespace korven::saneds

#endif
