// Format, FormatFloat, FloatToStr, StrToFloat, StrToInt, the assertion and resource strings.
#include <gtest/gtest.h>
#include <vcl/SysUtils.h>

#include <cmath>

using namespace vcl;

namespace {

// Restores the separators a test changes.
struct Separators {
  char dec = DecimalSeparator, thousand = ThousandSeparator;
  ~Separators() {
    DecimalSeparator = dec;
    ThousandSeparator = thousand;
  }
};

TEST(Format, Specifiers) {
  struct Case {
    std::string got, want;
  } cases[] = {
      {Format("%d", 42), "42"},
      {Format("%d", -7), "-7"},
      {Format("%5d|%-5d|", 42, 42), "   42|42   |"},
      {Format("%.4d", 7), "0007"},
      {Format("%.4d", -7), "-0007"},
      {Format("%*d", 4, 3), "   3"},
      {Format("%u", -1), "4294967295"},
      {Format("%x", 255), "FF"},
      {Format("%.4x", 255), "00FF"},
      {Format("%x", -1), "FFFFFFFF"},
      {Format("%s and %s", "A", std::string("B")), "A and B"},
      {Format("%.2s", "abc"), "ab"},
      {Format("%-4s|", "ab"), "ab  |"},
      {Format("%f", 1.5), "1.50"},
      {Format("%.3f", 2.0 / 3), "0.667"},
      {Format("%.0f", 2.5), "3"},
      {Format("%.1f", -0.04), "0.0"},
      {Format("%8.2f", 3.14159), "    3.14"},
      {Format("%f", 3), "3.00"},
      {Format("%g", 150.0), "150"},
      {Format("%g", 0.1), "0.1"},
      {Format("%g", 1e20), "1E20"},
      {Format("%g", 1.5e-7), "1.5E-7"},
      {Format("%e", 1.5), "1.50000000000000E+000"},
      {Format("%.3e", -12345.0), "-1.23E+004"},
      {Format("%n", 1234567.891), "1,234,567.89"},
      {Format("%1:s %0:s", "world", "hello"), "hello world"},
      {Format("100%%"), "100%"},
      {Format("%s", 'c'), "c"},
  };
  for (auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Format, BadSpecifiersRaiseConvertError) {
  EXPECT_THROW(Format("%d", "text"), EConvertError);
  EXPECT_THROW(Format("%d", 1.5), EConvertError);
  EXPECT_THROW(Format("%s", 3), EConvertError);
  EXPECT_THROW(Format("%d %d", 1), EConvertError);
  EXPECT_THROW(Format("%q", 1), EConvertError);
  EXPECT_THROW(Format("50%"), EConvertError);
  try {
    Format("%d", "x");
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Format '%d' invalid or incompatible with argument");
  }
}

TEST(FormatFloat, Pictures) {
  struct Case {
    const char* format;
    long double value;
    const char* want;
  } cases[] = {
      {"0.##", 1.5, "1.5"},       {"0.##", 2, "2"},           {"0.##", 0.125, "0.13"},
      {"0.##", -0.004, "0"},      {"0.00", 3.14159, "3.14"},  {"0.00", -2, "-2.00"},
      {"#,##0.00", 1234567.891, "1,234,567.89"},              {"#,##0.00", 12, "12.00"},
      {"0", 2.5, "3"},            {"0", 1234.4, "1234"},      {"#.##", 0.5, ".5"},
      {"000", 7, "007"},          {"0.0 'mm'", 25.44, "25.4 mm"},
      {"0.00;(0.00);'zero'", -1.5, "(1.50)"},                 {"0.00;(0.00);'zero'", 0, "zero"},
      {"0.00E+00", 12345, "1.23E+04"},                        {"0.0E-0", 0.00012, "1.2E-4"},
      {"", 0.1, "0.1"},
  };
  for (auto& c : cases) EXPECT_EQ(FormatFloat(c.format, c.value), c.want) << c.format << " " << (double)c.value;
}

TEST(FloatToStr, ShortestWithFifteenDigits) {
  struct Case {
    long double value;
    const char* want;
  } cases[] = {
      {0, "0"},          {150, "150"},           {0.1, "0.1"},          {-2.5, "-2.5"},
      {1.0 / 3, "0.333333333333333"},            {1e15, "1E15"},        {123456789012345.0, "123456789012345"},
      {0.00001, "0.00001"}, {0.000001, "1E-6"},     {1.5e-7, "1.5E-7"},    {static_cast<float>(2.2), "2.20000004768372"},
  };
  for (auto& c : cases) EXPECT_EQ(FloatToStr(c.value), c.want);
}

TEST(StrToFloat, UsesDecimalSeparator) {
  Separators keep;
  EXPECT_EQ(StrToFloat("1.5"), 1.5L);
  EXPECT_EQ(StrToFloat("  -2e3 "), -2000.0L);
  EXPECT_EQ(StrToFloat("+.5"), 0.5L);
  EXPECT_EQ(StrToFloat("7."), 7.0L);
  DecimalSeparator = ',';
  EXPECT_EQ(StrToFloat("1,25"), 1.25L);
  EXPECT_THROW(StrToFloat("1.25"), EConvertError);
  EXPECT_EQ(FloatToStr(1.25), "1,25");
  EXPECT_EQ(Format("%.1f", 0.5), "0,5");
}

TEST(StrToFloat, BadTextRaisesWithTheFrameworksMessage) {
  for (const char* bad : {"abc", "", " ", "1e", "1.2.3", "--1", "inf", "nan", "0x10", "1,5", "e5", ".", "1e99999"}) {
    try {
      StrToFloat(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid floating point value");
    }
  }
}

TEST(StrToInt, DecimalHexAndRange) {
  EXPECT_EQ(StrToInt(" 42 "), 42);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt("$FF"), 255);
  EXPECT_EQ(StrToInt("0x10"), 16);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
  for (const char* bad : {"2147483648", "abc", "", "1.0", "$", "12a"})
    EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
  try {
    StrToInt("abc");
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid integer value");
  }
  EXPECT_EQ(IntToStr(-12), "-12");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
}

TEST(Assertion, ActiveWithTextOrDefaultAndLocation) {
  int line = __LINE__ + 2;
  try {
    VCL_ASSERT(1 + 1 == 3);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Assertion failure (test_sysutils.cpp, line " + std::to_string(line) + ")");
  }
  try {
    VCL_ASSERT(false, "Range is empty");
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message().rfind("Range is empty (test_sysutils.cpp, line ", 0), 0u) << e.Message();
  }
  EXPECT_NO_THROW(VCL_ASSERT(true));
}

TEST(ResourceStrings, RegisteredPerModuleLaterWins) {
  EXPECT_EQ(LoadStr(65000), "");
  {
    TStringTableRegistration base("base", {{65000, "first"}, {65001, "only base"}});
    EXPECT_EQ(LoadStr(65000), "first");
    int token = RegisterStringTable("override", {{65000, "second %d"}});
    EXPECT_EQ(LoadStr(65000), "second %d");
    EXPECT_EQ(FmtLoadStr(65000, 7), "second 7");
    EXPECT_EQ(LoadStr(65001), "only base");
    UnregisterStringTable(token);
    EXPECT_EQ(LoadStr(65000), "first");
  }
  EXPECT_EQ(LoadStr(65001), "");
}

TEST(Strings, CaseInsensitiveAndIdentifiers) {
  EXPECT_TRUE(SameText("TScanner", "tscanner"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
  EXPECT_TRUE(IsValidIdent("_Scanner1"));
  EXPECT_FALSE(IsValidIdent("1Scanner"));
  EXPECT_FALSE(IsValidIdent("a.b"));
  EXPECT_EQ(Trim("\t x \r\n"), "x");
}

}  // namespace
