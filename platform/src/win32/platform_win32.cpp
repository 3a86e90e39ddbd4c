// korven::platform on Windows: the extras of <korven/platform.h> that Win32 can answer for real.
// Handles, global memory, modules, windows and win.ini are the system's own. What the POSIX layer
// counts or intercepts (live blocks, windows and timers, the debug output, large buffers) is not
// offered here: Win32 keeps that to itself.
#include <korven/platform.h>

#include <mutex>
#include <string>

namespace korven::platform {

namespace {

std::mutex g_mutex;
std::string g_windowsDir;   // set by SetWindowsDirectory; empty: the system's
std::string g_profilePath;  // set by SetProfilePath; empty: win.ini in the Windows directory
PathRules g_pathRules = PathRules::Windows;

std::string SystemWindowsDirectory() {
  char dir[MAX_PATH];
  UINT n = GetWindowsDirectoryA(dir, sizeof dir);
  return n > 0 && n < sizeof dir ? std::string(dir, n) : std::string();
}

// text from code page `from` into code page `to` through UTF-16; what `to` lacks becomes '?'.
std::string Convert(const std::string& text, UINT from, UINT to) {
  if (text.empty() || from == to) return text;
  int wide = MultiByteToWideChar(from, 0, text.data(), int(text.size()), nullptr, 0);
  if (wide <= 0) return text;
  std::wstring w(size_t(wide), L'\0');
  MultiByteToWideChar(from, 0, text.data(), int(text.size()), w.data(), wide);
  // The default-character arguments must be null for UTF-8, which has no unmappable characters.
  const char* fallback = to == CP_UTF8 ? nullptr : "?";
  int bytes = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, fallback, nullptr);
  if (bytes <= 0) return text;
  std::string out(size_t(bytes), '\0');
  WideCharToMultiByte(to, 0, w.data(), wide, out.data(), bytes, fallback, nullptr);
  return out;
}

}  // namespace

void SetWindowsDirectory(const std::string& path) {
  std::lock_guard lock(g_mutex);
  g_windowsDir = path;
}

std::string WindowsDirectory() {
  {
    std::lock_guard lock(g_mutex);
    if (!g_windowsDir.empty()) return g_windowsDir;
  }
  return SystemWindowsDirectory();
}

void SetProfilePath(const std::string& path) {
  std::lock_guard lock(g_mutex);
  g_profilePath = path;
}

std::string ProfilePath() {
  {
    std::lock_guard lock(g_mutex);
    if (!g_profilePath.empty()) return g_profilePath;
  }
  return SystemWindowsDirectory() + "\\win.ini";
}

bool SetACP(UINT codePage) {
  // The process's ANSI code page is the system's choice on Windows; only the current one is accepted.
  return codePage == GetACP();
}

std::string FromUtf8(const std::string& utf8) { return Convert(utf8, CP_UTF8, GetACP()); }

std::string ToUtf8(const std::string& ansi) { return Convert(ansi, GetACP(), CP_UTF8); }

PathRules SetPathRules(PathRules rules) {
  std::lock_guard lock(g_mutex);
  PathRules previous = g_pathRules;
  g_pathRules = rules;
  return previous;
}

PathRules GetPathRules() {
  std::lock_guard lock(g_mutex);
  return g_pathRules;
}

bool IsPathSeparator(char c) {
  if (c == '/') return true;
  return GetPathRules() == PathRules::Windows && (c == '\\' || c == ':');
}

std::string LastLoadLibraryError() {
  // Win32 keeps no separate reason: the system's text for the thread's last error, which a failed
  // LoadLibraryA has just set.
  DWORD error = GetLastError();
  if (error == ERROR_SUCCESS) return "";
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string reason = n && text ? std::string(text, n) : "error " + std::to_string(error);
  if (text) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) reason.pop_back();
  SetLastError(error);
  return reason;
}

}  // namespace korven::platform
