// libFuzzer target for korven-scan's command line: any words (the input split at NUL bytes) go
// through ParseCommandLine. It never crashes, never writes a file, and ends in one of its outcomes:
// go on (-1), help or version (0), a usage error (2: one line naming the problem), or an output
// folder it cannot use (4).
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "options.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fs::path scratch = [] {
    char dir[] = "/tmp/korven-fuzz-cli-XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    if (chdir(dir) != 0) std::abort();  // relative output names land here, where nothing may appear
    return fs::path(dir);
  }();
  std::vector<std::string> words{"korven-scan"};
  std::string word;
  for (size_t i = 0; i < size && words.size() < 40; ++i) {
    if (data[i] == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word.push_back(char(data[i]));
    }
  }
  if (!word.empty()) words.push_back(word);
  std::vector<const char*> argv;
  for (const auto& w : words) argv.push_back(w.c_str());
  argv.push_back(nullptr);

  korven::scan::ParseOutcome out = korven::scan::ParseCommandLine(int(words.size()), argv.data());
  const int rc = out.exitCode;
  if (rc != -1 && rc != korven::scan::kExitPages && rc != korven::scan::kExitUsage && rc != korven::scan::kExitOutput)
    std::abort();
  if (rc == korven::scan::kExitUsage) {
    // One line, naming the program, pointing at --help.
    if (out.text.rfind("korven-scan: ", 0) != 0 || out.text.empty() || out.text.back() != '\n' ||
        out.text.find('\n') != out.text.size() - 1)
      std::abort();
  }
  if (!fs::is_empty(scratch)) std::abort();  // parsing writes nothing
  return 0;
}
