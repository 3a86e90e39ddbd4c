// Exceptions' helpers, the assertion handler, string utilities and resource strings.
#include <vcl/SysUtils.h>

#include <korven/platform.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <mutex>

namespace vcl {

void AssertErrorHandler(std::string_view message, const char* file, int line) {
  std::string_view path = file ? file : "";
  if (auto slash = path.find_last_of("/\\"); slash != std::string_view::npos) path.remove_prefix(slash + 1);
  std::string text = message.empty() ? std::string("Assertion failure") : std::string(message);
  throw EAssertionFailed(text + " (" + std::string(path) + ", line " + std::to_string(line) + ")");
}

// ---- Strings ------------------------------------------------------------------------------------

static bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return std::string(s.substr(0, n));
}

std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

int CompareText(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(std::string_view a, std::string_view b) { return a.size() == b.size() && CompareText(a, b) == 0; }

std::string QuotedStr(std::string_view s) {
  std::string r = "'";
  for (char c : s) {
    r += c;
    if (c == '\'') r += c;
  }
  return r + "'";
}

bool IsValidIdent(std::string_view s) {
  auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  if (s.empty() || !alpha(s[0])) return false;
  return std::all_of(s.begin() + 1, s.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

// ---- Integers -----------------------------------------------------------------------------------

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string IntToHex(int64_t value, int digits) {
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<uint64_t>(value), 16);
  std::string r = UpperCase(std::string(buf, end));
  if (static_cast<int>(r.size()) < digits) r.insert(0, static_cast<size_t>(digits) - r.size(), '0');
  return r;
}

static bool ParseInt64(std::string_view text, int64_t& value) {
  std::string t = Trim(text);
  std::string_view s = t;
  bool neg = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    neg = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  uint64_t u = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), u, base);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  if (base == 16 && !neg) {
    value = static_cast<int64_t>(u);  // hexadecimal may give the bit pattern of a negative number
    return true;
  }
  if (u > static_cast<uint64_t>(INT64_MAX) + (neg ? 1 : 0)) return false;
  value = neg ? static_cast<int64_t>(0 - u) : static_cast<int64_t>(u);
  return true;
}

bool TryStrToInt(std::string_view text, int& value) {
  int64_t v;
  if (!ParseInt64(text, v)) return false;
  // $FFFFFFFF means -1 for a 32-bit integer, as the framework reads it.
  if (v > INT32_MAX && v <= static_cast<int64_t>(UINT32_MAX) && Trim(text).find_first_of("$xX") != std::string::npos)
    v = static_cast<int32_t>(static_cast<uint32_t>(v));
  if (v < INT32_MIN || v > INT32_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

int StrToInt(std::string_view text) {
  int v;
  if (!TryStrToInt(text, v)) throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return v;
}

int64_t StrToInt64(std::string_view text) {
  int64_t v;
  if (!ParseInt64(text, v)) throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return v;
}

int StrToIntDef(std::string_view text, int fallback) {
  int v;
  return TryStrToInt(text, v) ? v : fallback;
}

// ---- Resource strings ---------------------------------------------------------------------------

namespace {
struct Registered {
  int token;
  std::string module;
  std::map<int, std::string> strings;
};
std::mutex tablesLock;
std::vector<Registered>& Tables() {
  static std::vector<Registered> tables;
  return tables;
}
int nextToken = 1;
}  // namespace

int RegisterStringTable(std::string moduleName, TStringTable table) {
  std::lock_guard lock(tablesLock);
  Registered r{nextToken++, std::move(moduleName), {}};
  for (auto& [id, text] : table) r.strings[id] = std::move(text);
  Tables().push_back(std::move(r));
  return Tables().back().token;
}

void UnregisterStringTable(int token) {
  std::lock_guard lock(tablesLock);
  auto& t = Tables();
  t.erase(std::remove_if(t.begin(), t.end(), [token](const Registered& r) { return r.token == token; }), t.end());
}

std::string LoadStr(int id) {
  std::string utf8;
  {
    std::lock_guard lock(tablesLock);
    auto& t = Tables();
    for (auto it = t.rbegin(); it != t.rend(); ++it) {
      auto found = it->strings.find(id);
      if (found != it->strings.end()) {
        utf8 = found->second;
        break;
      }
    }
  }
  return utf8.empty() ? utf8 : korven::platform::FromUtf8(utf8);
}

}  // namespace vcl
