// System utilities of the framework subset: the exception hierarchy, the always-active assertion,
// number formatting and parsing, and resource strings per module.
#ifndef VCL_SYSUTILS_H
#define VCL_SYSUTILS_H

#include <vcl/System.h>

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vcl {

// ---- Exceptions ---------------------------------------------------------------------------------

// Base of every exception the framework and the component raise. Message() is the text a person
// sees; what() returns the same bytes.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message = {}) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  int HelpContext() const noexcept { return helpContext_; }
  void SetHelpContext(int context) noexcept { helpContext_ = context; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
  int helpContext_ = 0;
};

#define VCL_EXCEPTION_CLASS(Name, Base) \
  class Name : public Base {            \
   public:                              \
    using Base::Base;                   \
  }

VCL_EXCEPTION_CLASS(EAbort, Exception);            // silent exception: Application ignores it
VCL_EXCEPTION_CLASS(EAssertionFailed, Exception);  // raised by VCL_ASSERT
VCL_EXCEPTION_CLASS(EConvertError, Exception);     // bad text for a number, impossible Assign
VCL_EXCEPTION_CLASS(EInvalidCast, Exception);      // object of the wrong class for an operation
VCL_EXCEPTION_CLASS(EInvalidOperation, Exception);
VCL_EXCEPTION_CLASS(EOutOfMemory, Exception);      // a size that cannot be allocated
VCL_EXCEPTION_CLASS(EListError, Exception);        // index out of bounds in TList/TStrings
VCL_EXCEPTION_CLASS(EStringListError, EListError); // duplicates, sorted insert
VCL_EXCEPTION_CLASS(EComponentError, Exception);   // bad or duplicate component name
VCL_EXCEPTION_CLASS(EStreamError, Exception);
VCL_EXCEPTION_CLASS(EFCreateError, EStreamError);  // TFileStream cannot create the file
VCL_EXCEPTION_CLASS(EFOpenError, EStreamError);    // TFileStream cannot open the file
VCL_EXCEPTION_CLASS(EFilerError, EStreamError);    // form streaming
VCL_EXCEPTION_CLASS(EReadError, EFilerError);      // short read, malformed form data
VCL_EXCEPTION_CLASS(EWriteError, EFilerError);     // short write
VCL_EXCEPTION_CLASS(EClassNotFound, EFilerError);  // "Class TFoo not found"
VCL_EXCEPTION_CLASS(EParserError, EReadError);     // bad form text (ObjectTextToBinary): "... on line n"
VCL_EXCEPTION_CLASS(EInvalidGraphic, Exception);   // malformed or unsupported image data
VCL_EXCEPTION_CLASS(EInvalidGraphicOperation, Exception);

// ---- Assertions ---------------------------------------------------------------------------------

// Raises EAssertionFailed with "<text> (<file>, line <n>)", text "Assertion failure" when empty.
// <file> is the base name of the source file. Never compiled out.
[[noreturn]] void AssertErrorHandler(std::string_view message, const char* file, int line);

}  // namespace vcl

// VCL_ASSERT(condition) or VCL_ASSERT(condition, "message"): active in every build type.
#define VCL_ASSERT(cond, ...)                                                     \
  do {                                                                            \
    if (!(cond)) ::vcl::AssertErrorHandler(std::string_view{__VA_ARGS__}, __FILE__, __LINE__); \
  } while (0)

namespace vcl {

// ---- Number formatting --------------------------------------------------------------------------

// Separators the user's locale gives; every conversion to and from text of this header uses them.
// Defaults '.' and ','. Form streaming never uses them (form files always have '.').
extern char DecimalSeparator;
extern char ThousandSeparator;

// One argument of Format: an integer, a float, a string, a character or a pointer.
struct TVarRec {
  enum Kind { vtInteger, vtUnsigned, vtFloat, vtString, vtChar, vtPointer, vtBoolean };
  Kind kind;
  int64_t i = 0;
  long double f = 0;
  std::string s;
  const void* p = nullptr;

  TVarRec(int v) : kind(vtInteger), i(v) {}
  TVarRec(long v) : kind(vtInteger), i(v) {}
  TVarRec(long long v) : kind(vtInteger), i(v) {}
  TVarRec(unsigned v) : kind(vtUnsigned), i(static_cast<int64_t>(v)) {}
  TVarRec(unsigned long v) : kind(vtUnsigned), i(static_cast<int64_t>(v)) {}
  TVarRec(unsigned long long v) : kind(vtUnsigned), i(static_cast<int64_t>(v)) {}
  TVarRec(short v) : kind(vtInteger), i(v) {}
  TVarRec(unsigned short v) : kind(vtUnsigned), i(v) {}
  TVarRec(unsigned char v) : kind(vtUnsigned), i(v) {}
  TVarRec(signed char v) : kind(vtInteger), i(v) {}
  TVarRec(bool v) : kind(vtBoolean), i(v) {}
  TVarRec(char v) : kind(vtChar), s(1, v) {}
  TVarRec(float v) : kind(vtFloat), f(v) {}
  TVarRec(double v) : kind(vtFloat), f(v) {}
  TVarRec(long double v) : kind(vtFloat), f(v) {}
  TVarRec(const char* v) : kind(vtString), s(v ? v : "") {}
  TVarRec(std::string v) : kind(vtString), s(std::move(v)) {}
  TVarRec(std::string_view v) : kind(vtString), s(v) {}
  TVarRec(const void* v) : kind(vtPointer), p(v) {}
};

// The framework's Format: %d %u %x %e %f %g %n %m %s %p %%, each as
// "%" [index ":"] ["-"] [width] ["." precision] type; width and precision may be "*" (taken from
// the arguments). %d/%u/%x take integers only; %e %f %g %n %m take floats or integers; %s takes
// strings and characters. %f %n %m default to 2 decimals, %e and %g to 15 digits; %x is upper case.
// A bad specifier, a missing argument or a wrong argument type raises EConvertError
// ("Format '%d' invalid or incompatible with argument").
std::string FormatArgs(std::string_view format, std::span<const TVarRec> args);

template <class... Args>
std::string Format(std::string_view format, const Args&... args) {
  const TVarRec list[] = {TVarRec(args)..., TVarRec(0)};
  return FormatArgs(format, std::span<const TVarRec>(list, sizeof...(Args)));
}

// FormatFloat with the framework's picture: '0' digit, '#' optional digit, '.' decimal point,
// ',' thousands grouping, "E+"/"E-"/"e+"/"e-" exponent, '…' or "…" literal text, and up to three
// sections separated by ';' (positive; negative; zero). An empty format gives the general form.
std::string FormatFloat(std::string_view format, long double value);

// Shortest text with up to 15 significant digits; exponent form ("1.5E-7", "1E20") when the
// value is below 0.00001 or needs more than 15 integer digits.
std::string FloatToStr(long double value);
// Fixed text with `digits` decimals (like FloatToStrF(ffFixed, 18, digits)).
std::string FloatToStrFixed(long double value, int digits);

// Reads a decimal number with DecimalSeparator ("1.5", "-2e3", leading/trailing blanks allowed).
// Raises EConvertError "'abc' is not a valid floating point value".
long double StrToFloat(std::string_view text);
bool TryStrToFloat(std::string_view text, long double& value);
bool TryStrToFloat(std::string_view text, double& value);
long double StrToFloatDef(std::string_view text, long double fallback);

std::string IntToStr(int64_t value);
// Upper-case hexadecimal with at least `digits` digits.
std::string IntToHex(int64_t value, int digits);
// Decimal, or hexadecimal with '$' or "0x"; raises EConvertError "'abc' is not a valid integer value"
// for bad text or a value outside the 32-bit range.
int StrToInt(std::string_view text);
int64_t StrToInt64(std::string_view text);
bool TryStrToInt(std::string_view text, int& value);
int StrToIntDef(std::string_view text, int fallback);

// ---- Strings ------------------------------------------------------------------------------------

std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s);  // ASCII letters only, as the framework does
std::string LowerCase(std::string_view s);
int CompareText(std::string_view a, std::string_view b);  // ASCII case-insensitive, <0 / 0 / >0
bool SameText(std::string_view a, std::string_view b);
// Adds a quote at both ends and doubles each quote inside.
std::string QuotedStr(std::string_view s);
bool IsValidIdent(std::string_view s);  // letter or '_' then letters, digits, '_'

// ---- Resource strings ---------------------------------------------------------------------------

// A module's string table: id → text in UTF-8. LoadStr converts to the active ANSI code page.
using TStringTable = std::vector<std::pair<int, std::string>>;

// Registers a module's strings (the run-time package at load time). A later registration wins for
// an id two modules share. Returns a token for UnregisterStringTable.
int RegisterStringTable(std::string moduleName, TStringTable table);
void UnregisterStringTable(int token);

// Registers a table for the lifetime of the object (e.g. a static object in a module).
class TStringTableRegistration {
 public:
  TStringTableRegistration(std::string moduleName, TStringTable table)
      : token_(RegisterStringTable(std::move(moduleName), std::move(table))) {}
  ~TStringTableRegistration() { UnregisterStringTable(token_); }
  TStringTableRegistration(const TStringTableRegistration&) = delete;
  TStringTableRegistration& operator=(const TStringTableRegistration&) = delete;

 private:
  int token_;
};

// The text for id from the registered tables in the active ANSI code page; "" when no table has it.
std::string LoadStr(int id);
// Format(LoadStr(id), args...).
template <class... Args>
std::string FmtLoadStr(int id, const Args&... args) {
  return Format(LoadStr(id), args...);
}

}  // namespace vcl

#endif
