// Format, FormatFloat, FloatToStr and StrToFloat with the framework's rules. Digits come from
// std::to_chars, which is exact and ignores the C locale; separators come from DecimalSeparator and
// ThousandSeparator.
#include <vcl/SysUtils.h>

#include <algorithm>
#include <charconv>
#include <limits>
#include <cmath>
#include <cstring>

namespace vcl {

char DecimalSeparator = '.';
char ThousandSeparator = ',';

namespace {

// value = 0.d1d2d3... × 10^exponent is avoided; we use d1.d2d3... × 10^exponent.
struct Digits {
  std::string digits;  // significant digits, no leading zero (except for 0: "0")
  int exponent = 0;    // decimal exponent of the first digit
  bool negative = false;
};

// Rounds the decimal digit string to `keep` digits, half away from zero as the framework does
// (to_chars alone would round an exact tie to even). Returns true when a carry added a digit.
bool RoundHalfUp(std::string& digits, size_t keep) {
  if (digits.size() <= keep) return false;
  bool up = digits[keep] >= '5';
  digits.resize(keep);
  if (!up) return false;
  for (size_t i = keep; i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
  return true;
}

// Extra digits asked of to_chars before rounding ourselves: enough to tell a tie from a near-tie
// for every long double.
constexpr int kGuardDigits = 30;

Digits ToDigits(long double v, int significant) {
  Digits d;
  d.negative = std::signbit(v);
  v = std::fabs(v);
  if (significant < 1) significant = 1;
  if (significant > 40) significant = 40;
  char buf[160];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, significant - 1 + kGuardDigits);
  std::string_view s(buf, static_cast<size_t>(r.ptr - buf));
  auto e = s.find('e');
  for (char c : s.substr(0, e))
    if (c >= '0' && c <= '9') d.digits += c;
  int ex = 0;
  std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), ex);
  if (RoundHalfUp(d.digits, static_cast<size_t>(significant))) {
    d.digits.pop_back();
    ++ex;
  }
  d.exponent = ex;
  return d;
}

std::string Special(long double v) {
  if (std::isnan(v)) return "NAN";
  return v < 0 ? "-INF" : "INF";
}

// "1234567" → "1,234,567" with ThousandSeparator.
std::string Group(const std::string& intDigits) {
  std::string r;
  int n = static_cast<int>(intDigits.size());
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) r += ThousandSeparator;
    r += intDigits[static_cast<size_t>(i)];
  }
  return r;
}

// Integer and fraction digits of |v| rounded to `decimals` places.
void FixedParts(long double v, int decimals, std::string& intPart, std::string& fracPart) {
  if (decimals < 0) decimals = 0;
  if (decimals > 40) decimals = 40;
  std::string buf(4960 + 128, '\0');
  auto r = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(v), std::chars_format::fixed,
                         decimals + kGuardDigits);
  std::string s(buf.data(), r.ptr);
  auto dot = s.find('.');
  std::string digits = s.substr(0, dot) + s.substr(dot + 1);
  size_t intLen = dot;
  if (RoundHalfUp(digits, intLen + static_cast<size_t>(decimals))) ++intLen;
  intPart = digits.substr(0, intLen);
  fracPart = digits.substr(intLen);
}

bool AllZero(const std::string& a, const std::string& b) {
  return a.find_first_not_of('0') == std::string::npos && b.find_first_not_of('0') == std::string::npos;
}

// General form with `precision` significant digits: shortest, exponent form outside the range
// where fixed notation stays within the precision.
std::string General(long double v, int precision) {
  if (!std::isfinite(v)) return Special(v);
  if (v == 0) return "0";
  Digits d = ToDigits(v, precision);
  while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
  std::string r = d.negative ? "-" : "";
  int n = static_cast<int>(d.digits.size());
  if (d.exponent >= precision || d.exponent < -5) {
    r += d.digits[0];
    if (n > 1) r += DecimalSeparator + d.digits.substr(1);
    // Appended piece by piece: `"E" + std::to_string(...)` inserts at the front of a temporary,
    // which g++ 12 at -O2/-O3 wrongly reports as an overlapping copy (-Wrestrict).
    r += 'E';
    r += std::to_string(d.exponent);
  } else if (d.exponent < 0) {
    r += "0";
    r += DecimalSeparator;
    r += std::string(static_cast<size_t>(-d.exponent - 1), '0') + d.digits;
  } else {
    int intDigits = d.exponent + 1;
    if (n <= intDigits) {
      r += d.digits + std::string(static_cast<size_t>(intDigits - n), '0');
    } else {
      r += d.digits.substr(0, static_cast<size_t>(intDigits)) + DecimalSeparator +
           d.digits.substr(static_cast<size_t>(intDigits));
    }
  }
  return r;
}

// "-d.dddE+ddd" with `precision` significant digits and at least `expDigits` exponent digits.
std::string Exponent(long double v, int precision, int expDigits) {
  if (!std::isfinite(v)) return Special(v);
  Digits d = ToDigits(v, precision);
  std::string r = d.negative ? "-" : "";
  r += d.digits[0];
  if (d.digits.size() > 1) r += DecimalSeparator + d.digits.substr(1);
  std::string e = std::to_string(std::abs(d.exponent));
  if (static_cast<int>(e.size()) < expDigits) e.insert(0, static_cast<size_t>(expDigits) - e.size(), '0');
  return r + "E" + (d.exponent < 0 ? "-" : "+") + e;
}

std::string Fixed(long double v, int decimals, bool thousands) {
  if (!std::isfinite(v)) return Special(v);
  std::string ip, fp;
  FixedParts(v, decimals, ip, fp);
  std::string r = (std::signbit(v) && !AllZero(ip, fp)) ? "-" : "";
  r += thousands ? Group(ip) : ip;
  if (!fp.empty()) r += DecimalSeparator + fp;
  return r;
}

[[noreturn]] void FormatError(std::string_view format) {
  throw EConvertError("Format '" + std::string(format) + "' invalid or incompatible with argument");
}

}  // namespace

std::string FloatToStr(long double value) { return General(value, 15); }

std::string FloatToStrFixed(long double value, int digits) { return Fixed(value, digits, false); }

// ---- Format -------------------------------------------------------------------------------------

std::string FormatArgs(std::string_view format, std::span<const TVarRec> args) {
  std::string out;
  size_t next = 0;  // next argument
  size_t i = 0;
  auto argAt = [&](size_t index) -> const TVarRec& {
    if (index >= args.size())
      throw EConvertError("No argument for format '" + std::string(format) + "'");
    return args[index];
  };
  auto readNumber = [&](int& n) -> bool {  // digits or '*'
    if (i < format.size() && format[i] == '*') {
      ++i;
      const TVarRec& a = argAt(next++);
      if (a.kind != TVarRec::vtInteger && a.kind != TVarRec::vtUnsigned) FormatError(format);
      n = static_cast<int>(std::clamp<int64_t>(a.i, -100000, 100000));
      return true;
    }
    bool any = false;
    n = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
      n = std::min(n * 10 + (format[i] - '0'), 100000);
      ++i;
      any = true;
    }
    return any;
  };
  while (i < format.size()) {
    char c = format[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i >= format.size()) FormatError(format);
    if (format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    bool left = false;
    int width = -1, precision = -1, n = 0;
    // An index "%1:s" is digits followed by ':'; look ahead without consuming a '*' argument.
    size_t digitsEnd = i;
    while (digitsEnd < format.size() && format[digitsEnd] >= '0' && format[digitsEnd] <= '9') ++digitsEnd;
    if (digitsEnd > i && digitsEnd < format.size() && format[digitsEnd] == ':') {
      readNumber(n);
      next = static_cast<size_t>(n);
      ++i;
    }
    if (i < format.size() && format[i] == '-') {
      left = true;
      ++i;
    }
    if (readNumber(n)) width = n;
    if (i < format.size() && format[i] == '.') {
      ++i;
      if (!readNumber(precision)) precision = 0;
    }
    if (i >= format.size()) FormatError(format);
    char type = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i++])));
    const TVarRec& a = argAt(next++);
    bool isInt = a.kind == TVarRec::vtInteger || a.kind == TVarRec::vtUnsigned;
    // Negative 32-bit values show their unsigned 32-bit pattern, as the framework's Integer does.
    auto asUnsigned = [&]() -> uint64_t {
      if (a.kind == TVarRec::vtInteger && a.i < 0 && a.i >= INT32_MIN)
        return static_cast<uint32_t>(static_cast<int32_t>(a.i));
      return static_cast<uint64_t>(a.i);
    };
    std::string text;
    switch (type) {
      case 'd':
      case 'u': {
        if (!isInt) FormatError(format);
        std::string digits;
        bool neg = false;
        if (type == 'd' && a.kind == TVarRec::vtInteger && a.i < 0) {
          neg = true;
          digits = std::to_string(0 - static_cast<uint64_t>(a.i));
        } else {
          digits = std::to_string(type == 'u' ? asUnsigned() : static_cast<uint64_t>(a.i));
        }
        if (precision > static_cast<int>(digits.size()))
          digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
        text = (neg ? "-" : "") + digits;
        break;
      }
      case 'x':
        if (!isInt) FormatError(format);
        text = IntToHex(static_cast<int64_t>(asUnsigned()), precision);
        break;
      case 'e':
      case 'f':
      case 'g':
      case 'n':
      case 'm': {
        long double v;
        if (a.kind == TVarRec::vtFloat)
          v = a.f;
        else if (a.kind == TVarRec::vtInteger)
          v = static_cast<long double>(a.i);
        else if (a.kind == TVarRec::vtUnsigned)
          v = static_cast<long double>(static_cast<uint64_t>(a.i));
        else
          FormatError(format);
        if (type == 'e')
          text = Exponent(v, precision < 0 ? 15 : std::clamp(precision, 1, 18), 3);
        else if (type == 'g')
          text = General(v, precision < 0 ? 15 : std::clamp(precision, 1, 18));
        else
          text = Fixed(v, precision < 0 ? 2 : std::min(precision, 18), type != 'f');
        break;
      }
      case 's':
        if (a.kind == TVarRec::vtString || a.kind == TVarRec::vtChar)
          text = a.s;
        else if (a.kind == TVarRec::vtBoolean)
          text = a.i ? "True" : "False";
        else
          FormatError(format);
        if (precision >= 0 && static_cast<size_t>(precision) < text.size()) text.resize(static_cast<size_t>(precision));
        break;
      case 'p':
        if (a.kind != TVarRec::vtPointer) FormatError(format);
        text = IntToHex(static_cast<int64_t>(reinterpret_cast<uintptr_t>(a.p)), 8);
        break;
      default:
        FormatError(format);
    }
    if (width > static_cast<int>(text.size())) {
      std::string pad(static_cast<size_t>(width) - text.size(), ' ');
      text = left ? text + pad : pad + text;
    }
    out += text;
  }
  return out;
}

// ---- FormatFloat --------------------------------------------------------------------------------

namespace {

struct Section {
  std::string prefix, suffix;  // literal text around the number
  int minInt = 0;              // '0' placeholders before the point
  int intPlaceholders = 0;     // '0' and '#' before the point
  int minDec = 0, maxDec = 0;  // '0' / '0'+'#' after the point
  bool thousands = false;
  bool scientific = false, expPlus = false;
  char expChar = 'E';
  int expDigits = 0;
};

std::vector<std::string> SplitSections(std::string_view format) {
  std::vector<std::string> sections(1);
  char quote = 0;
  for (char c : format) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == ';') {
      sections.emplace_back();
      continue;
    }
    sections.back() += c;
  }
  return sections;
}

Section ParseSection(const std::string& f) {
  Section s;
  bool seenDigit = false, afterPoint = false, afterNumber = false;
  for (size_t i = 0; i < f.size(); ++i) {
    char c = f[i];
    std::string* literal = seenDigit ? &s.suffix : &s.prefix;
    if (c == '\'' || c == '"') {
      size_t end = f.find(c, i + 1);
      if (end == std::string::npos) end = f.size();
      *literal += f.substr(i + 1, end - i - 1);
      i = end;
    } else if ((c == '0' || c == '#') && !afterNumber) {
      seenDigit = true;
      if (afterPoint) {
        ++s.maxDec;
        if (c == '0') s.minDec = s.maxDec;
      } else {
        ++s.intPlaceholders;
        if (c == '0' || s.minInt > 0) ++s.minInt;
      }
    } else if (c == '.' && !afterNumber && !afterPoint) {
      afterPoint = true;
      seenDigit = true;
    } else if (c == ',' && !afterNumber) {
      if (seenDigit && !afterPoint) s.thousands = true;
    } else if ((c == 'E' || c == 'e') && seenDigit && !afterNumber && i + 1 < f.size() &&
               (f[i + 1] == '+' || f[i + 1] == '-')) {
      s.scientific = true;
      s.expChar = c;
      s.expPlus = f[i + 1] == '+';
      i += 2;
      while (i < f.size() && f[i] == '0') {
        ++s.expDigits;
        ++i;
      }
      --i;
      afterNumber = true;
    } else {
      if (seenDigit) afterNumber = true;
      *literal += c;
    }
  }
  if (s.minDec > s.maxDec) s.minDec = s.maxDec;
  return s;
}

std::string FormatSection(const Section& s, long double v, bool withMinus) {
  std::string ip, fp;
  int exponent = 0;
  if (s.scientific) {
    int intDigits = std::max(s.intPlaceholders, 1);
    if (v != 0) {
      Digits d = ToDigits(v, intDigits + s.maxDec);
      exponent = d.exponent - (intDigits - 1);
      v = std::fabs(v) / std::pow(10.0L, static_cast<long double>(exponent));
    }
  }
  FixedParts(v, s.maxDec, ip, fp);
  while (static_cast<int>(fp.size()) > s.minDec && !fp.empty() && fp.back() == '0') fp.pop_back();
  ip.erase(0, std::min(ip.find_first_not_of('0'), ip.size()));
  if (static_cast<int>(ip.size()) < s.minInt) ip.insert(0, static_cast<size_t>(s.minInt) - ip.size(), '0');
  std::string r = withMinus && !AllZero(ip, fp) ? "-" : "";
  r += s.prefix;
  r += s.thousands ? Group(ip) : ip;
  if (!fp.empty()) r += DecimalSeparator + fp;
  if (s.scientific) {
    std::string e = std::to_string(std::abs(exponent));
    if (static_cast<int>(e.size()) < s.expDigits) e.insert(0, static_cast<size_t>(s.expDigits) - e.size(), '0');
    r += s.expChar;
    if (exponent < 0)
      r += '-';
    else if (s.expPlus)
      r += '+';
    r += e;
  }
  return r + s.suffix;
}

}  // namespace

std::string FormatFloat(std::string_view format, long double value) {
  if (!std::isfinite(value)) return Special(value);
  if (format.empty()) return FloatToStr(value);
  auto sections = SplitSections(format);
  if (value == 0 && sections.size() > 2 && !sections[2].empty())
    return FormatSection(ParseSection(sections[2]), 0, false);
  if (value < 0 && sections.size() > 1 && !sections[1].empty())
    return FormatSection(ParseSection(sections[1]), std::fabs(value), false);
  Section s = ParseSection(sections[0]);
  if (s.intPlaceholders == 0 && s.maxDec == 0 && !s.scientific) return s.prefix + s.suffix;
  return FormatSection(s, std::fabs(value), value < 0);
}

// ---- StrToFloat ---------------------------------------------------------------------------------

bool TryStrToFloat(std::string_view text, long double& value) {
  std::string t = Trim(text);
  // Check the grammar ourselves: from_chars would also take "inf", "nan" and a bare '.'.
  std::string s;
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) s += t[i++];
  int mantissaDigits = 0;
  while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) s += t[i++], ++mantissaDigits;
  if (i < t.size() && t[i] == DecimalSeparator) {
    s += '.';
    ++i;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) s += t[i++], ++mantissaDigits;
  }
  if (mantissaDigits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    s += 'e';
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) s += t[i++];
    int expDigits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) s += t[i++], ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != t.size()) return false;
  const char* begin = s.data() + (s[0] == '+' ? 1 : 0);
  long double v = 0;
  auto r = std::from_chars(begin, s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
  value = v;
  return true;
}

bool TryStrToFloat(std::string_view text, double& value) {
  long double v;
  if (!TryStrToFloat(text, v) || std::fabs(v) > static_cast<long double>(std::numeric_limits<double>::max()))
    return false;
  value = static_cast<double>(v);
  return true;
}

long double StrToFloat(std::string_view text) {
  long double v;
  if (!TryStrToFloat(text, v))
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
  return v;
}

long double StrToFloatDef(std::string_view text, long double fallback) {
  long double v;
  return TryStrToFloat(text, v) ? v : fallback;
}

}  // namespace vcl
