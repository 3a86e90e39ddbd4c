// libFuzzer target for the two configuration files that come from outside: the per-user profile
// (win.ini, read by GetProfileStringA and rewritten by WriteProfileStringA) and the virtual scanner's
// <name>.ini. The first input byte chooses which; any bytes are read without a fault, and a value
// written to the profile reads back as written.
#include <korven/platform.h>
#include <unistd.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_support.h"

#include "../twain/sources/virtual/src/config.h"

namespace {

std::string ProfileFile() {
  static const std::string path = [] {
    return korven::fuzz::ScratchFolder("ini") + "/win.ini";
  }();
  return path;
}

void Profile(const std::string& text) {
  korven::platform::SetProfilePath(ProfileFile());
  std::ofstream(ProfileFile(), std::ios::binary | std::ios::trunc) << text;
  std::vector<char> buf(4096);
  // Every section, then every key of each, then each value.
  DWORD n = GetProfileStringA(nullptr, nullptr, "", buf.data(), DWORD(buf.size()));
  std::vector<std::string> sections;
  for (const char* p = buf.data(); p < buf.data() + n && *p; p += std::strlen(p) + 1) sections.emplace_back(p);
  for (const std::string& s : sections) {
    std::vector<char> keys(4096);
    DWORD k = GetProfileStringA(s.c_str(), nullptr, "", keys.data(), DWORD(keys.size()));
    for (const char* p = keys.data(); p < keys.data() + k && *p; p += std::strlen(p) + 1) {
      char value[256];
      GetProfileStringA(s.c_str(), p, "", value, sizeof value);
    }
  }
  // A small buffer: cut, always terminated.
  char tiny[3];
  GetProfileStringA("TWAIN", "Default Source", "fallback", tiny, sizeof tiny);
  if (tiny[sizeof tiny - 1] != 0 && std::strlen(tiny) >= sizeof tiny) std::abort();
  // A write amid whatever the file holds reads back, and the file stays readable.
  if (!WriteProfileStringA("TWAIN", "Default Source", "Fuzz Scanner")) return;  // a file we may not rewrite
  char back[64];
  GetProfileStringA("TWAIN", "Default Source", "", back, sizeof back);
  if (std::string(back) != "Fuzz Scanner") std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] & 1) {
    Profile(text);
  } else {
    std::vector<std::string> warnings;
    korven::virtualds::Config c = korven::virtualds::ParseConfig(text, warnings);
    // What the source relies on afterwards: a default resolution it offers.
    if (c.resolutionIsList && c.resolutionList.empty()) std::abort();
  }
  return 0;
}
