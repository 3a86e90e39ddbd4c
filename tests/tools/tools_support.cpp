#include "tools_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace korven::tools_test {

ScratchDir::ScratchDir() {
  std::string tmpl = (fs::temp_directory_path() / "korven-scan-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  dir_ = tmpl;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(dir_, ec);
}

std::vector<std::string> ScratchDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<vcl::TColor> BlackWhite() { return {vcl::clBlack, vcl::clWhite}; }
std::vector<vcl::TColor> WhiteBlack() { return {vcl::clWhite, vcl::clBlack}; }
std::vector<vcl::TColor> GreyRamp(int n) {
  std::vector<vcl::TColor> p;
  for (int i = 0; i < n; ++i) {
    uint8_t v = uint8_t(i * 255 / (n - 1));
    p.push_back(vcl::RGBToColor(v, v, v));
  }
  return p;
}
std::vector<vcl::TColor> Colours(int n) {
  std::vector<vcl::TColor> p;
  for (int i = 0; i < n; ++i) p.push_back(vcl::RGBToColor(uint8_t(i * 37 + 11), uint8_t(255 - i * 13), uint8_t(i * 101 % 256)));
  return p;
}

std::unique_ptr<vcl::TBitmap> MakePage(vcl::TPixelFormat format, int width, int height,
                                       const std::vector<vcl::TColor>& palette, int ppmX, int ppmY) {
  auto bmp = std::make_unique<vcl::TBitmap>();
  bmp->SetPixelFormat(format);
  bmp->SetSize(width, height);
  if (!palette.empty()) bmp->SetPalette(palette);
  bmp->SetPelsPerMeter(ppmX, ppmY);
  for (int y = 0; y < height; ++y) {
    auto* row = static_cast<uint8_t*>(bmp->ScanLine(y));
    for (int x = 0; x < width; ++x) {
      unsigned v = unsigned(x * 7 + y * 13 + (x * y) % 5);
      switch (format) {
        case vcl::pf1bit:
          if ((x / 3 + y / 2) % 2) row[x / 8] |= uint8_t(0x80 >> (x % 8));
          else row[x / 8] &= uint8_t(~(0x80 >> (x % 8)));
          break;
        case vcl::pf4bit: {
          unsigned i = v % 16;
          row[x / 2] = (x % 2) ? uint8_t((row[x / 2] & 0xF0) | i) : uint8_t((row[x / 2] & 0x0F) | (i << 4));
          break;
        }
        case vcl::pf8bit: row[x] = uint8_t(v % palette.size()); break;
        case vcl::pf16bit: {
          uint16_t px = uint16_t(((v % 32) << 11) | ((y % 64) << 5) | (x % 32));
          row[2 * x] = uint8_t(px);
          row[2 * x + 1] = uint8_t(px >> 8);
          break;
        }
        default:
          row[3 * x] = uint8_t(v);
          row[3 * x + 1] = uint8_t(x * 3);
          row[3 * x + 2] = uint8_t(y * 5);
      }
    }
  }
  return bmp;
}

vcl::TColor PixelOf(vcl::TBitmap& bitmap, int x, int y) { return bitmap.GetCanvas()->GetPixels(x, y); }

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env) {
  ScratchDir io;
  std::string outPath = io.File("stdout"), errPath = io.File("stderr");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

  std::vector<std::string> argStore{program};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::map<std::string, std::string> merged;
  for (char** e = environ; *e; ++e) {
    std::string kv = *e;
    size_t eq = kv.find('=');
    if (eq != std::string::npos) merged[kv.substr(0, eq)] = kv.substr(eq + 1);
  }
  for (const auto& [k, v] : env) merged[k] = v;
  std::vector<std::string> envStore;
  for (const auto& [k, v] : merged) envStore.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  RunResult result;
  if (rc != 0) throw std::runtime_error("cannot run " + program);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  auto slurp = [](const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  };
  result.out = slurp(outPath);
  result.err = slurp(errPath);
  return result;
}

std::string Shell(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

bool HaveTool(const std::string& name) { return !Shell("command -v " + name + " 2>/dev/null").empty(); }

}  // namespace korven::tools_test
