// Code pages: the process's ANSI code page (UTF-8 or Shift-JIS), character stepping and conversion.
#include <errno.h>
#include <iconv.h>

#include <atomic>
#include <cstring>

#include "internal.h"

namespace {

std::atomic<UINT> g_acp{CP_UTF8};

bool IsSjisLead(BYTE b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

bool IsContinuation(unsigned char b) { return b >= 0x80 && b <= 0xBF; }

// Length of the well-formed UTF-8 sequence at p (1 for a stray or malformed byte).
size_t Utf8Length(const unsigned char* p) {
  unsigned char b = p[0];
  if (b < 0x80) return 1;
  size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b >= 0xC2 && b <= 0xDF)
    n = 2;
  else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else
    return 1;
  if (p[1] < lo || p[1] > hi) return 1;
  for (size_t i = 2; i < n; ++i)
    if (!IsContinuation(p[i])) return 1;
  return n;
}

// Converts with iconv, replacing what cannot be converted by '?' and stepping over the offending
// input character as a whole.
std::string Convert(const std::string& text, const char* to, const char* from, bool fromUtf8) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1) && std::strcmp(to, "CP932") == 0) cd = iconv_open("SHIFT_JIS", from);
  if (cd == reinterpret_cast<iconv_t>(-1) && std::strcmp(from, "CP932") == 0) cd = iconv_open(to, "SHIFT_JIS");
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out;
  out.reserve(text.size() * 2);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* o = buffer;
    size_t oLeft = sizeof buffer;
    size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buffer, o - buffer);
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (a truncated character at the end): replace one input character.
    size_t skip = 1;
    if (fromUtf8)
      skip = Utf8Length(reinterpret_cast<const unsigned char*>(in));
    else if (IsSjisLead(static_cast<BYTE>(*in)) && inLeft > 1)
      skip = 2;
    if (skip > inLeft) skip = inLeft;
    out.push_back('?');
    in += skip;
    inLeft -= skip;
  }
  char* o = buffer;
  size_t oLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &o, &oLeft);
  out.append(buffer, o - buffer);
  iconv_close(cd);
  return out;
}

}  // namespace

namespace korven::platform {

bool SetACP(UINT codePage) {
  if (codePage != CP_UTF8 && codePage != 932) return false;
  g_acp = codePage;
  return true;
}

std::string FromUtf8(const std::string& utf8) {
  if (g_acp == CP_UTF8) return utf8;
  return Convert(utf8, "CP932", "UTF-8", true);
}

std::string ToUtf8(const std::string& ansi) {
  if (g_acp == CP_UTF8) return ansi;
  return Convert(ansi, "UTF-8", "CP932", false);
}

namespace {
std::atomic<PathRules> g_pathRules{PathRules::Posix};
}

PathRules SetPathRules(PathRules rules) { return g_pathRules.exchange(rules); }
PathRules GetPathRules() { return g_pathRules; }
bool IsPathSeparator(char c) {
  return c == '/' || (g_pathRules == PathRules::Windows && (c == '\\' || c == ':'));
}

namespace detail {

std::string PosixPath(const char* path) {
  std::string out;
  if (!path) return out;
  for (const char* p = path; *p;) {
    const char* next = CharNextA(p);
    if (next == p + 1 && *p == '\\')
      out.push_back('/');
    else
      out.append(p, next);
    p = next;
  }
  return out;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return s;
}

}  // namespace detail
}  // namespace korven::platform

extern "C" {

UINT WINAPI GetACP(void) { return g_acp; }

BOOL WINAPI IsDBCSLeadByteEx(UINT CodePage, BYTE TestChar) {
  if (CodePage == CP_ACP) CodePage = g_acp;
  return CodePage == 932 && IsSjisLead(TestChar) ? TRUE : FALSE;
}

BOOL WINAPI IsDBCSLeadByte(BYTE TestChar) { return IsDBCSLeadByteEx(CP_ACP, TestChar); }

LPSTR WINAPI CharNextA(LPCSTR lpsz) {
  if (!lpsz || !*lpsz) return const_cast<LPSTR>(lpsz);
  const auto* p = reinterpret_cast<const unsigned char*>(lpsz);
  size_t step = 1;
  if (g_acp == 932) {
    // A lead byte takes the next byte with it, whatever its value ('|', '\\', ...), unless the text
    // ends there.
    if (IsSjisLead(p[0]) && p[1] != 0) step = 2;
  } else {
    step = Utf8Length(p);  // stops at NUL: a NUL is never a continuation byte
  }
  return const_cast<LPSTR>(lpsz + step);
}

LPSTR WINAPI CharPrevA(LPCSTR lpszStart, LPCSTR lpszCurrent) {
  if (!lpszStart || !lpszCurrent || lpszCurrent <= lpszStart) return const_cast<LPSTR>(lpszStart);
  // Characters can only be told apart from the start, so walk forward.
  const char* p = lpszStart;
  for (;;) {
    const char* next = CharNextA(p);
    if (next >= lpszCurrent || next == p) return const_cast<LPSTR>(p);
    p = next;
  }
}

}  // extern "C"
