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

#include "fuzz_support.h"

#include "options.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fs::path scratch = korven::fuzz::ScratchFolder("cli");
  // Relative output names land in the scratch folder, where nothing may appear; the working folder
  // is given back after each input, as libFuzzer reads and writes its corpus by relative names too.
  static const fs::path home = fs::current_path();
  if (chdir(scratch.c_str()) != 0) std::abort();
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
  if (chdir(home.c_str()) != 0) std::abort();
  return 0;
}
