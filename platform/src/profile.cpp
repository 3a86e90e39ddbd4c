// win.ini: GetProfileStringA/WriteProfileStringA on a small INI file per user. The file is re-read
// on every call (other processes may change it) and rewritten atomically (temporary file + rename).
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "internal.h"

namespace fs = std::filesystem;
using korven::platform::detail::EqualNoCase;

namespace {

std::mutex g_mutex;
std::string g_path;  // empty: the default

struct Line {
  std::string raw;  // the line as read (comments, blank lines)
  std::string key;  // empty for raw lines
  std::string value;
};
struct Section {
  std::string name;  // empty: lines before the first section
  std::vector<Line> lines;
};

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<Section> Load(const std::string& path) {
  std::vector<Section> sections(1);
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string t = Trim(line);
    if (t.size() >= 2 && t.front() == '[' && t.find(']') != std::string::npos) {
      sections.push_back({Trim(t.substr(1, t.find(']') - 1)), {}});
      continue;
    }
    size_t eq = t.find('=');
    if (t.empty() || t[0] == ';' || eq == std::string::npos || eq == 0) {
      sections.back().lines.push_back({line, "", ""});
      continue;
    }
    sections.back().lines.push_back({line, Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))});
  }
  return sections;
}

bool Save(const std::string& path, const std::vector<Section>& sections) {
  std::ostringstream out;
  for (const Section& s : sections) {
    if (!s.name.empty()) out << '[' << s.name << "]\n";
    for (const Line& l : s.lines) {
      if (l.key.empty())
        out << l.raw << '\n';
      else
        out << l.key << '=' << l.value << '\n';
    }
  }
  std::error_code ec;
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path(), ec);
  std::string tmpl = path + ".XXXXXX";
  int fd = mkstemp(tmpl.data());
  if (fd < 0) return false;
  std::string text = out.str();
  bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = (::fsync(fd) == 0) && ok;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = std::rename(tmpl.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tmpl.c_str());
  return ok;
}

// Holds an exclusive lock on "<file>.lock" beside the profile for one read-modify-write, so that two
// processes writing at once cannot lose each other's changes (each rewrite replaces the whole file).
// Readers need none: the rename makes every rewrite appear whole. Without a lock file (a folder that
// cannot be written) the write goes on unlocked and fails in Save as before.
class ProfileLock {
 public:
  explicit ProfileLock(const std::string& path) {
    std::string lockPath = path + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      std::error_code ec;
      fs::path p(path);
      if (p.has_parent_path()) fs::create_directories(p.parent_path(), ec);
      fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    }
    if (fd_ >= 0)
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~ProfileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  ProfileLock(const ProfileLock&) = delete;
  ProfileLock& operator=(const ProfileLock&) = delete;

 private:
  int fd_ = -1;
};

Section* FindSection(std::vector<Section>& sections, const std::string& name) {
  for (size_t i = 1; i < sections.size(); ++i)
    if (EqualNoCase(sections[i].name, name)) return &sections[i];
  return nullptr;
}

// Copies a list of NUL-terminated strings ending in an extra NUL; when it does not fit, the list is
// cut, still double-terminated, and nSize - 2 returned, as Win32 does.
DWORD CopyList(const std::vector<std::string>& list, LPSTR out, DWORD nSize) {
  std::string all;
  for (const auto& s : list) all += s + '\0';
  if (nSize < 2) {
    if (nSize == 1) out[0] = '\0';
    return 0;
  }
  if (all.size() + 1 <= nSize) {
    std::memcpy(out, all.data(), all.size());
    out[all.size()] = '\0';
    if (all.empty()) out[1] = '\0';
    return static_cast<DWORD>(all.size());
  }
  std::memcpy(out, all.data(), nSize - 2);
  out[nSize - 2] = '\0';
  out[nSize - 1] = '\0';
  return nSize - 2;
}

DWORD CopyValue(const std::string& value, LPSTR out, DWORD nSize) {
  if (nSize == 0) return 0;
  size_t n = std::min<size_t>(value.size(), nSize - 1);
  std::memcpy(out, value.data(), n);
  out[n] = '\0';
  return static_cast<DWORD>(n);
}

std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

namespace korven::platform {

void SetProfilePath(const std::string& path) {
  std::lock_guard lock(g_mutex);
  g_path = path.empty() ? std::string() : detail::PosixPath(path.c_str());
}

std::string ProfilePath() {
  std::lock_guard lock(g_mutex);
  if (!g_path.empty()) return g_path;
  if (const char* env = std::getenv("KORVEN_PROFILE"); env && *env) return env;
  fs::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg && xdg[0] == '/') {
    config = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      const passwd* pw = getpwuid(getuid());
      home = pw ? pw->pw_dir : "/tmp";
    }
    config = fs::path(home) / ".config";
  }
  return (config / "korven" / "win.ini").string();
}

}  // namespace korven::platform

extern "C" {

DWORD WINAPI GetProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                               DWORD nSize) {
  if (!lpReturnedString) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string path = korven::platform::ProfilePath();
  std::vector<Section> sections;
  {
    std::lock_guard lock(g_mutex);
    sections = Load(path);
  }
  if (!lpAppName) {
    std::vector<std::string> names;
    for (size_t i = 1; i < sections.size(); ++i) names.push_back(sections[i].name);
    return CopyList(names, lpReturnedString, nSize);
  }
  Section* s = FindSection(sections, lpAppName);
  if (!lpKeyName) {
    std::vector<std::string> keys;
    if (s)
      for (const Line& l : s->lines)
        if (!l.key.empty()) keys.push_back(l.key);
    return CopyList(keys, lpReturnedString, nSize);
  }
  if (s)
    for (const Line& l : s->lines)
      if (!l.key.empty() && EqualNoCase(l.key, lpKeyName)) return CopyValue(Unquote(l.value), lpReturnedString, nSize);
  // The default loses its trailing blanks, as Win32 does.
  std::string def = lpDefault ? lpDefault : "";
  while (!def.empty() && (def.back() == ' ' || def.back() == '\t')) def.pop_back();
  SetLastError(ERROR_FILE_NOT_FOUND);
  return CopyValue(def, lpReturnedString, nSize);
}

BOOL WINAPI WriteProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString) {
  if (!lpAppName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path = korven::platform::ProfilePath();
  std::lock_guard lock(g_mutex);
  ProfileLock fileLock(path);
  std::vector<Section> sections = Load(path);
  Section* s = FindSection(sections, lpAppName);
  if (!lpKeyName) {
    // NULL key: the whole section goes.
    if (!s) return TRUE;
    sections.erase(sections.begin() + (s - sections.data()));
  } else if (!lpString) {
    // NULL string: the key goes.
    if (!s) return TRUE;
    auto& lines = s->lines;
    for (auto it = lines.begin(); it != lines.end(); ++it)
      if (!it->key.empty() && EqualNoCase(it->key, lpKeyName)) {
        lines.erase(it);
        break;
      }
  } else {
    if (!s) {
      sections.push_back({lpAppName, {}});
      s = &sections.back();
    }
    bool found = false;
    for (Line& l : s->lines)
      if (!l.key.empty() && EqualNoCase(l.key, lpKeyName)) {
        l.value = lpString;
        found = true;
        break;
      }
    if (!found) {
      // After the section's last entry, before trailing blank lines.
      auto pos = s->lines.end();
      while (pos != s->lines.begin() && std::prev(pos)->key.empty() && Trim(std::prev(pos)->raw).empty()) --pos;
      s->lines.insert(pos, {"", lpKeyName, lpString});
    }
  }
  if (!Save(path, sections)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
