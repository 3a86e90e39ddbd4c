// The text form-file format: conversion from and to the binary format, and the float text form.
#include <vcl/Classes.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "filer_internal.h"

namespace vcl {

using filer::ReadLE;
using filer::WriteLE;

// ---- Floats -------------------------------------------------------------------------------------

namespace {

std::string Fixed18(long double v) {
  char buf[128];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 18);
  return std::string(buf, r.ptr);
}

bool SameBits(long double a, long double b) {
  uint8_t x[10], y[10];
  filer::EncodeExtended(a, x);
  filer::EncodeExtended(b, y);
  return std::memcmp(x, y, 10) == 0;
}

}  // namespace

long double FormTextToFloat(std::string_view text) {
  std::string_view t = text;
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  long double x = 0;
  auto r = std::from_chars(t.data(), t.data() + t.size(), x);
  if (r.ec != std::errc() || r.ptr != t.data() + t.size() || t.empty() || !std::isdigit(static_cast<unsigned char>(t.back())))
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
  if (t.find_first_of("eE") != std::string_view::npos) return x;
  // 18 decimals cannot pin down every extended value; prefer the Single, then the Double that
  // prints the same, which is what the properties behind such texts hold.
  std::string s = Fixed18(x);
  long double single = static_cast<float>(x);
  if (std::isfinite(single) && Fixed18(single) == s) return single;
  long double dbl = static_cast<double>(x);
  if (std::isfinite(dbl) && Fixed18(dbl) == s) return dbl;
  return x;
}

std::string FormFloatToText(long double value) {
  if (!std::isfinite(value)) throw EWriteError("Invalid floating point value");
  if (std::fabs(value) < 1e15L) {
    std::string fixed = Fixed18(value);
    if (SameBits(FormTextToFloat(fixed), value)) return fixed;
  }
  char buf[128];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 20);
  std::string s(buf, r.ptr);
  // "1.5e+20" → "1.5E+20", "1.5e-07" → "1.5E-7".
  auto e = s.find('e');
  std::string digits = s.substr(e + 2);
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
  return s.substr(0, e) + "E" + s[e + 1] + digits;
}

// ---- Binary to text -----------------------------------------------------------------------------

namespace {

class BinaryToText {
 public:
  BinaryToText(TStream* in) : reader_(in), in_(in) {}

  std::string Run() {
    reader_.ReadSignature();
    Object(0);
    return out_;
  }

 private:
  void Indent(int level) { out_.append(static_cast<size_t>(level) * 2, ' '); }

  void Object(int level) {
    if (level > filer::kMaxDepth) throw EReadError("Nesting too deep");
    TFilerFlags flags;
    int childPos;
    reader_.ReadPrefix(flags, childPos);
    std::string className = reader_.ReadStr();
    std::string name = reader_.ReadStr();
    CheckIdent(className, true);
    CheckIdent(name, false);
    Indent(level);
    out_ += flags.Contains(ffInherited) ? "inherited " : flags.Contains(ffInline) ? "inline " : "object ";
    if (!name.empty()) out_ += name + ": ";
    out_ += className;
    if (flags.Contains(ffChildPos)) out_ += " [" + std::to_string(childPos) + "]";
    out_ += "\r\n";
    while (!reader_.EndOfList()) Property(level + 1);
    reader_.ReadListEnd();
    while (!reader_.EndOfList()) Object(level + 1);
    reader_.ReadListEnd();
    Indent(level);
    out_ += "end\r\n";
  }

  // Names must survive the trip through text as one token.
  static void CheckIdent(const std::string& s, bool required) {
    if (s.empty() && !required) return;
    bool ok = !s.empty();
    for (char c : s)
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.')) ok = false;
    if (ok && (std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '.')) ok = false;
    if (!ok) throw EReadError("Invalid name in form data");
  }

  void Property(int level) {
    std::string name = reader_.ReadStr();
    CheckIdent(name, true);
    Indent(level);
    out_ += name + " = ";
    Value(level, 0);
    out_ += "\r\n";
  }

  void Value(int level, int depth) {
    if (depth > filer::kMaxDepth) throw EReadError("Nesting too deep");
    TValueType t = reader_.ReadValue();
    switch (t) {
      case vaList:
        out_ += "(";
        while (!reader_.EndOfList()) {
          out_ += "\r\n";
          Indent(level + 1);
          Value(level + 1, depth + 1);
        }
        reader_.ReadListEnd();
        out_ += ")";
        break;
      case vaInt8: out_ += std::to_string(ReadLE<int8_t>(in_)); break;
      case vaInt16: out_ += std::to_string(ReadLE<int16_t>(in_)); break;
      case vaInt32: out_ += std::to_string(ReadLE<int32_t>(in_)); break;
      case vaInt64: out_ += std::to_string(ReadLE<int64_t>(in_)); break;
      case vaExtended: {
        uint8_t b[10];
        in_->ReadBuffer(b, 10);
        long double v = filer::DecodeExtended(b);
        if (!std::isfinite(v)) throw EReadError("Invalid floating point value");
        out_ += FormFloatToText(v);
        break;
      }
      case vaSingle: {
        float v = ReadLE<float>(in_);
        if (!std::isfinite(v)) throw EReadError("Invalid floating point value");
        out_ += Shortest(v) + "s";
        break;
      }
      case vaDate: {
        double v = ReadLE<double>(in_);
        if (!std::isfinite(v)) throw EReadError("Invalid floating point value");
        out_ += Shortest(v) + "d";
        break;
      }
      case vaCurrency: {
        int64_t v = ReadLE<int64_t>(in_);
        // Exact decimal with four places: the value is an integer count of 1/10000.
        uint64_t a = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        std::string frac = std::to_string(a % 10000);
        out_ += (v < 0 ? "-" : "") + std::to_string(a / 10000) + "." + std::string(4 - frac.size(), '0') + frac + "c";
        break;
      }
      case vaString: String(reader_.ReadStr(), level); break;
      case vaLString: {
        int32_t n = ReadLE<int32_t>(in_);
        reader_.CheckLength(n);
        std::string s(static_cast<size_t>(n), '\0');
        in_->ReadBuffer(s.data(), n);
        String(s, level);
        break;
      }
      case vaWString: {
        int32_t n = ReadLE<int32_t>(in_);
        reader_.CheckLength(int64_t{n} * 2);
        std::vector<uint16_t> units(static_cast<size_t>(n));
        in_->ReadBuffer(units.data(), int64_t{n} * 2);
        WideString(units, level);
        break;
      }
      case vaIdent: {
        std::string s = reader_.ReadStr();
        CheckIdent(s, true);
        out_ += s;
        break;
      }
      case vaFalse: out_ += "False"; break;
      case vaTrue: out_ += "True"; break;
      case vaNil: out_ += "nil"; break;
      case vaNull: out_ += "Null"; break;
      case vaSet: {
        out_ += "[";
        bool first = true;
        for (std::string n = reader_.ReadStr(); !n.empty(); n = reader_.ReadStr()) {
          CheckIdent(n, true);
          if (!first) out_ += ", ";
          out_ += n;
          first = false;
        }
        out_ += "]";
        break;
      }
      case vaBinary: {
        int32_t n = ReadLE<int32_t>(in_);
        reader_.CheckLength(n);
        std::vector<uint8_t> data(static_cast<size_t>(n));
        in_->ReadBuffer(data.data(), n);
        static const char hex[] = "0123456789ABCDEF";
        out_ += "{";
        for (size_t i = 0; i < data.size(); ++i) {
          if (i % 32 == 0) {
            out_ += "\r\n";
            Indent(level + 1);
          }
          out_ += hex[data[i] >> 4];
          out_ += hex[data[i] & 15];
        }
        out_ += "}";
        break;
      }
      case vaCollection:
        out_ += "<";
        while (!reader_.EndOfList()) {
          out_ += "\r\n";
          Indent(level + 1);
          out_ += "item";
          TValueType o = reader_.NextValue();
          if (o == vaInt8 || o == vaInt16 || o == vaInt32) out_ += " [" + std::to_string(reader_.ReadInteger()) + "]";
          reader_.ReadListBegin();
          out_ += "\r\n";
          while (!reader_.EndOfList()) Property(level + 2);
          reader_.ReadListEnd();
          Indent(level + 1);
          out_ += "end";
        }
        reader_.ReadListEnd();
        out_ += ">";
        break;
    }
  }

  template <class F>
  static std::string Shortest(F v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, r.ptr);
    // A float token needs a point or an exponent to stay a float.
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    if (auto e = s.find('e'); e != std::string::npos) s[e] = 'E';
    return s;
  }

  // Quoted runs of printable ASCII, #nnn for the other bytes, pieces of 64 joined by " +".
  void String(const std::string& s, int level) {
    if (s.empty()) {
      out_ += "''";
      return;
    }
    std::vector<uint32_t> units(s.begin(), s.end());
    for (auto& u : units) u &= 0xFF;
    Pieces(units, level);
  }

  void WideString(const std::vector<uint16_t>& w, int level) {
    if (w.empty()) {
      out_ += "''";
      return;
    }
    Pieces(std::vector<uint32_t>(w.begin(), w.end()), level);
  }

  void Pieces(const std::vector<uint32_t>& units, int level) {
    const size_t lineLength = 64;
    if (units.size() > lineLength) {
      out_ += "\r\n";
      Indent(level + 1);
    }
    size_t i = 0, lineStart = 0;
    while (i < units.size()) {
      if (units[i] >= 32 && units[i] < 127) {
        out_ += '\'';
        while (i < units.size() && units[i] >= 32 && units[i] < 127 && i - lineStart < lineLength) {
          out_ += static_cast<char>(units[i]);
          if (units[i] == '\'') out_ += '\'';
          ++i;
        }
        out_ += '\'';
      } else {
        out_ += '#';
        out_ += std::to_string(units[i]);
        ++i;
      }
      if (i - lineStart >= lineLength && i < units.size()) {
        out_ += " +\r\n";
        Indent(level + 1);
        lineStart = i;
      }
    }
  }

  TReader reader_;
  TStream* in_;
  std::string out_;
};

// ---- Text to binary -----------------------------------------------------------------------------

enum class Tok { End, Ident, String, Integer, Float, Symbol };

class TextToBinary {
 public:
  TextToBinary(std::string_view text, TStream* out) : text_(text), writer_(out), out_(out) {}

  void Run() {
    Next();
    writer_.WriteSignature();
    Object(0);
    if (tok_ != Tok::End) Error("End of file expected");
  }

 private:
  [[noreturn]] void Error(const std::string& what) {
    throw EParserError(what + " on line " + std::to_string(line_));
  }

  void SkipBlanks() {
    while (pos_ < text_.size() && static_cast<unsigned char>(text_[pos_]) <= ' ') {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
  }

  static bool IdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
  static bool IdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.'; }

  // One token into tok_/tokText_/units_/intValue_.
  void Next() {
    SkipBlanks();
    tokText_.clear();
    if (pos_ >= text_.size()) {
      tok_ = Tok::End;
      return;
    }
    char c = text_[pos_];
    if (IdentStart(c)) {
      size_t start = pos_;
      while (pos_ < text_.size() && IdentChar(text_[pos_])) ++pos_;
      tokText_ = std::string(text_.substr(start, pos_ - start));
      tok_ = Tok::Ident;
      return;
    }
    if (c == '\'' || c == '#') {
      StringToken();
      return;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '$') {
      if ((c == '-' || c == '+') &&
          (pos_ + 1 >= text_.size() || !(std::isdigit(static_cast<unsigned char>(text_[pos_ + 1])) || text_[pos_ + 1] == '$'))) {
        tok_ = Tok::Symbol;
        tokText_ = std::string(1, c);
        ++pos_;
        return;
      }
      NumberToken();
      return;
    }
    tok_ = Tok::Symbol;
    tokText_ = std::string(1, c);
    ++pos_;
  }

  void StringToken() {
    units_.clear();
    for (;;) {
      if (pos_ < text_.size() && text_[pos_] == '\'') {
        ++pos_;
        for (;;) {
          if (pos_ >= text_.size() || text_[pos_] == '\n' || text_[pos_] == '\r') Error("Unterminated string");
          if (text_[pos_] == '\'') {
            if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
              units_.push_back('\'');
              pos_ += 2;
              continue;
            }
            ++pos_;
            break;
          }
          units_.push_back(static_cast<unsigned char>(text_[pos_++]));
        }
      } else if (pos_ < text_.size() && text_[pos_] == '#') {
        ++pos_;
        int base = 10;
        if (pos_ < text_.size() && text_[pos_] == '$') {
          base = 16;
          ++pos_;
        }
        size_t start = pos_;
        while (pos_ < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        uint32_t v = 0;
        auto r = std::from_chars(text_.data() + start, text_.data() + pos_, v, base);
        if (r.ec != std::errc() || r.ptr != text_.data() + pos_ || v > 0xFFFF) Error("Invalid character code");
        units_.push_back(v);
      } else {
        // "'abc' +" line break "'def'" continues the same string.
        size_t save = pos_;
        int saveLine = line_;
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == '+') {
          ++pos_;
          SkipBlanks();
          if (pos_ < text_.size() && (text_[pos_] == '\'' || text_[pos_] == '#')) continue;
          Error("String expected");
        }
        pos_ = save;
        line_ = saveLine;
        break;
      }
    }
    tok_ = Tok::String;
  }

  void NumberToken() {
    size_t start = pos_;
    if (text_[pos_] == '-' || text_[pos_] == '+') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '$') {
      ++pos_;
      while (pos_ < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
      std::string_view digits = text_.substr(start, pos_ - start);
      bool neg = digits[0] == '-';
      std::string_view hex = digits.substr(digits.find('$') + 1);
      uint64_t v = 0;
      auto r = std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
      if (hex.empty() || r.ec != std::errc() || r.ptr != hex.data() + hex.size()) Error("Invalid integer");
      intValue_ = neg ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
      tok_ = Tok::Integer;
      return;
    }
    bool isFloat = false;
    while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '.') {
      isFloat = true;
      ++pos_;
      while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      isFloat = true;
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    tokText_ = std::string(text_.substr(start, pos_ - start));
    floatSuffix_ = 0;
    if (pos_ < text_.size() && std::strchr("sScCdD", text_[pos_]) && text_[pos_] != '\0') {
      floatSuffix_ = static_cast<char>(std::tolower(static_cast<unsigned char>(text_[pos_++])));
      isFloat = true;
    }
    if (pos_ < text_.size() && IdentChar(text_[pos_])) Error("Invalid number");
    if (isFloat) {
      tok_ = Tok::Float;
      return;
    }
    std::string_view d = tokText_;
    if (!d.empty() && d[0] == '+') d.remove_prefix(1);
    auto r = std::from_chars(d.data(), d.data() + d.size(), intValue_);
    if (r.ec != std::errc() || r.ptr != d.data() + d.size()) Error("Invalid integer");
    tok_ = Tok::Integer;
  }

  bool IsSymbol(char c) const { return tok_ == Tok::Symbol && tokText_[0] == c; }
  bool IsIdent(const char* s) const { return tok_ == Tok::Ident && SameText(tokText_, s); }

  void Expect(char c) {
    if (!IsSymbol(c)) Error(std::string("'") + c + "' expected");
    Next();
  }

  std::string ExpectIdent() {
    if (tok_ != Tok::Ident) Error("Identifier expected");
    if (tokText_.size() > 255) Error("Identifier too long");
    std::string s = tokText_;
    Next();
    return s;
  }

  void Object(int depth) {
    if (depth > filer::kMaxDepth) Error("Nesting too deep");
    TFilerFlags flags;
    if (IsIdent("inherited"))
      flags.Include(ffInherited);
    else if (IsIdent("inline"))
      flags.Include(ffInline);
    else if (!IsIdent("object"))
      Error("'object' expected");
    Next();
    std::string name, className = ExpectIdent();
    if (IsSymbol(':')) {
      Next();
      name = className;
      className = ExpectIdent();
    }
    int64_t childPos = 0;
    if (IsSymbol('[')) {
      Next();
      if (tok_ != Tok::Integer) Error("Integer expected");
      childPos = intValue_;
      flags.Include(ffChildPos);
      Next();
      Expect(']');
    }
    if (!flags.Empty()) {
      uint8_t prefix = static_cast<uint8_t>(0xF0 | flags.Bits());
      out_->WriteBuffer(&prefix, 1);
      if (flags.Contains(ffChildPos)) writer_.WriteInteger(childPos);
    }
    writer_.WriteStr(className);
    writer_.WriteStr(name);
    while (!IsIdent("end") && !IsIdent("object") && !IsIdent("inherited") && !IsIdent("inline")) Property(0);
    writer_.WriteListEnd();
    while (!IsIdent("end")) Object(depth + 1);
    writer_.WriteListEnd();
    Next();
  }

  void Property(int depth) {
    if (tok_ == Tok::End) Error("'end' expected");
    writer_.WriteStr(ExpectIdent());
    Expect('=');
    Value(depth);
  }

  void Value(int depth) {
    if (depth > filer::kMaxDepth) Error("Nesting too deep");
    switch (tok_) {
      case Tok::Integer:
        writer_.WriteInteger(intValue_);
        Next();
        return;
      case Tok::Float:
        FloatValue();
        Next();
        return;
      case Tok::String:
        StringValue();
        Next();
        return;
      case Tok::Ident:
        if (tokText_.size() > 255) Error("Identifier too long");
        writer_.WriteIdent(tokText_);
        Next();
        return;
      case Tok::End:
        Error("Value expected");
      case Tok::Symbol:
        break;
    }
    char c = tokText_[0];
    if (c == '[') {
      Next();
      writer_.WriteValue(vaSet);
      while (!IsSymbol(']')) {
        writer_.WriteStr(ExpectIdent());
        if (IsSymbol(',')) {
          Next();
          if (IsSymbol(']')) Error("Identifier expected");
        } else if (!IsSymbol(']')) {
          Error("']' expected");
        }
      }
      writer_.WriteStr("");
      Next();
    } else if (c == '(') {
      Next();
      writer_.WriteListBegin();
      while (!IsSymbol(')')) Value(depth + 1);
      writer_.WriteListEnd();
      Next();
    } else if (c == '{') {
      BinaryValue();
      Next();
    } else if (c == '<') {
      Next();
      writer_.WriteValue(vaCollection);
      while (!IsSymbol('>')) {
        if (!IsIdent("item")) Error("'item' expected");
        Next();
        if (IsSymbol('[')) {
          Next();
          if (tok_ != Tok::Integer) Error("Integer expected");
          writer_.WriteInteger(intValue_);
          Next();
          Expect(']');
        }
        writer_.WriteListBegin();
        while (!IsIdent("end")) Property(depth + 1);
        writer_.WriteListEnd();
        Next();
      }
      writer_.WriteListEnd();
      Next();
    } else {
      Error("Invalid property value");
    }
  }

  void FloatValue() {
    std::string t = tokText_;
    try {
      switch (floatSuffix_) {
        case 's': {
          writer_.WriteSingle(static_cast<float>(FormTextToFloat(t)));
          return;
        }
        case 'd': {
          writer_.WriteValue(vaDate);
          WriteLE<double>(out_, static_cast<double>(FormTextToFloat(t)));
          return;
        }
        case 'c': {
          writer_.WriteValue(vaCurrency);
          WriteLE<int64_t>(out_, CurrencyValue(t));
          return;
        }
        default:
          writer_.WriteFloat(FormTextToFloat(t));
      }
    } catch (const EConvertError& e) {
      Error(e.Message());
    }
  }

  // Exact: "12.3456" → 123456, without going through binary floating point.
  int64_t CurrencyValue(std::string_view t) {
    bool neg = !t.empty() && t[0] == '-';
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) t.remove_prefix(1);
    if (t.find_first_of("eE") != std::string_view::npos) {
      long double v = std::round(FormTextToFloat(t) * 10000);
      if (!(std::fabs(v) < 9.2e18L)) Error("Invalid currency value");
      return static_cast<int64_t>(neg ? -v : v);
    }
    auto dot = t.find('.');
    std::string digits(t.substr(0, dot));
    std::string frac = dot == std::string_view::npos ? "" : std::string(t.substr(dot + 1));
    if (frac.size() > 4) Error("Invalid currency value");
    digits += frac + std::string(4 - frac.size(), '0');
    uint64_t v = 0;
    auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (r.ec != std::errc() || v > static_cast<uint64_t>(INT64_MAX)) Error("Invalid currency value");
    return neg ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
  }

  void StringValue() {
    bool wide = false;
    for (uint32_t u : units_)
      if (u > 0xFF) wide = true;
    if (!wide) {
      std::string s(units_.size(), '\0');
      for (size_t i = 0; i < units_.size(); ++i) s[i] = static_cast<char>(units_[i]);
      writer_.WriteString(s);
      return;
    }
    writer_.WriteValue(vaWString);
    WriteLE<int32_t>(out_, static_cast<int32_t>(units_.size()));
    for (uint32_t u : units_) WriteLE<uint16_t>(out_, static_cast<uint16_t>(u));
  }

  void BinaryValue() {
    std::vector<uint8_t> data;
    int high = -1;
    for (;;) {
      if (pos_ >= text_.size()) Error("'}' expected");
      char c = text_[pos_++];
      if (c == '}') break;
      if (c == '\n') ++line_;
      if (static_cast<unsigned char>(c) <= ' ') continue;
      int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
              : std::isxdigit(static_cast<unsigned char>(c)) ? (std::toupper(static_cast<unsigned char>(c)) - 'A' + 10)
                                                             : -1;
      if (v < 0) Error("Invalid binary value");
      if (high < 0) {
        high = v;
      } else {
        data.push_back(static_cast<uint8_t>(high << 4 | v));
        high = -1;
      }
    }
    if (high >= 0) Error("Invalid binary value");
    writer_.WriteValue(vaBinary);
    WriteLE<int32_t>(out_, static_cast<int32_t>(data.size()));
    out_->WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  }

  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
  Tok tok_ = Tok::End;
  std::string tokText_;
  std::vector<uint32_t> units_;
  int64_t intValue_ = 0;
  char floatSuffix_ = 0;
  TWriter writer_;
  TStream* out_;
};

}  // namespace

void ObjectBinaryToText(TStream* input, TStream* output) {
  std::string text = BinaryToText(input).Run();
  output->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void ObjectTextToBinary(TStream* input, TStream* output) {
  int64_t n = input->Remaining();
  if (n < 0) n = 0;
  std::string text(static_cast<size_t>(n), '\0');
  input->ReadBuffer(text.data(), n);
  // Build in memory first, so that a parse error leaves nothing half-written in output.
  TMemoryStream binary;
  TextToBinary(text, &binary).Run();
  binary.SaveToStream(output);
}

std::string ComponentToText(TComponent* component) {
  TMemoryStream binary;
  binary.WriteComponent(component);
  binary.SetPosition(0);
  TStringStream text;
  ObjectBinaryToText(&binary, &text);
  return text.DataString();
}

TComponent* TextToComponent(std::string_view text, TComponent* instance) {
  TStringStream in{std::string(text)};
  TMemoryStream binary;
  ObjectTextToBinary(&in, &binary);
  binary.SetPosition(0);
  return binary.ReadComponent(instance);
}

void WriteComponentFile(const std::string& fileName, TComponent* component, TFormFileFormat format) {
  TMemoryStream binary;
  binary.WriteComponent(component);
  binary.SetPosition(0);
  TFileStream file(fileName, fmCreate);
  if (format == fffText)
    ObjectBinaryToText(&binary, &file);
  else
    binary.SaveToStream(&file);
}

TComponent* ReadComponentFile(const std::string& fileName, TComponent* instance) {
  TMemoryStream data;
  data.LoadFromFile(fileName);
  if (data.GetSize() >= 4 && std::memcmp(data.Memory(), "TPF0", 4) == 0) return data.ReadComponent(instance);
  TMemoryStream binary;
  ObjectTextToBinary(&data, &binary);
  binary.SetPosition(0);
  return binary.ReadComponent(instance);
}

}  // namespace vcl
