#include "config.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

namespace korven::saneds {

namespace {

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

}  // namespace

Config ParseConfig(const std::string& text, std::vector<std::string>& warnings) {
  Config c;
  std::istringstream in(text);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    line = Trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;
    size_t eq = line.find('=');
    const std::string where = "line " + std::to_string(n) + ": ";
    if (eq == std::string::npos) {
      warnings.push_back(where + "no '=' in \"" + line + "\"");
      continue;
    }
    const std::string key = Lower(Trim(line.substr(0, eq))), value = Trim(line.substr(eq + 1));
    // Seconds from 0 to a day.
    auto seconds = [&](const char* name, std::chrono::milliseconds& out) {
      char* end = nullptr;
      double s = std::strtod(value.c_str(), &end);
      if (end == value.c_str() || *end || !std::isfinite(s) || s < 0 || s > 86400)
        warnings.push_back(where + name + " wants seconds from 0 to 86400, not \"" + value + "\"");
      else
        out = std::chrono::milliseconds(std::llround(s * 1000));
    };
    if (key == "readtimeout") {
      seconds("ReadTimeout", c.readTimeout);
    } else if (key == "listinglifetime") {
      seconds("ListingLifetime", c.listingLifetime);
    } else if (key == "localonly") {
      const std::string v = Lower(value);
      if (v == "yes" || v == "true" || v == "on" || v == "1") c.localOnly = true;
      else if (v == "no" || v == "false" || v == "off" || v == "0") c.localOnly = false;
      else warnings.push_back(where + "LocalOnly wants yes or no, not \"" + value + "\"");
    } else {
      warnings.push_back(where + "unknown key \"" + Trim(line.substr(0, eq)) + "\"");
    }
  }
  return c;
}

}  // namespace korven::saneds
