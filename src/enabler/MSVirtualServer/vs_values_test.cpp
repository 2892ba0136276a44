#include "enabler/MSVirtualServer/vs_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

// These run natively against the hand-made conversions and under Wine against
// OLE Automation's: both must give the same texts and numbers. The user's
// locale of the test runs writes "." as decimal separator.

TEST(VsVariantTest, NumbersBecomeTheTextsOleAutomationWrites) {
  struct Case {
    double value;
    const wchar_t* text;
  };
  const Case cases[] = {
      {200.0, L"200"},
      {37.5, L"37.5"},
      {100.0, L"100"},
      {0.1 + 0.2, L"0.3"}, // 15 significant digits hide the binary error
      {1.0 / 3.0, L"0.333333333333333"},
      {2.0 / 3.0, L"0.666666666666667"},
      {123456789012.5, L"123456789012.5"},
      {-12.25, L"-12.25"},
      {1e20, L"1E+20"},
      {1.5e-7, L"1.5E-07"},
      {123456789012345678.0, L"1.23456789012346E+17"},
      {0.0001, L"0.0001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    std::wstring text;
    ASSERT_TRUE(VsVariant::fromReal(c.value).toText(&text));
    EXPECT_EQ(std::wstring(c.text), text);
  }
}

TEST(VsVariantTest, BytesAndIntegersBecomeDecimalDigits) {
  std::wstring text;
  ASSERT_TRUE(VsVariant::fromByte(0).toText(&text));
  EXPECT_EQ(L"0", text);
  ASSERT_TRUE(VsVariant::fromByte(255).toText(&text));
  EXPECT_EQ(L"255", text);
  ASSERT_TRUE(VsVariant::fromInt(-42).toText(&text));
  EXPECT_EQ(L"-42", text);
  ASSERT_TRUE(VsVariant::fromText(L"as is").toText(&text));
  EXPECT_EQ(L"as is", text);
}

TEST(VsVariantTest, OtherTypesConvertToDouble) {
  struct Case {
    VsVariant value;
    bool converts;
    double expected;
    const char* why;
  };
  Case cases[] = {
      {VsVariant::fromReal(25.0), true, 25.0, "a double stays"},
      {VsVariant::fromInt(4), true, 4.0, "an integer exactly"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    double value = -99.0;
    EXPECT_EQ(c.converts, c.value.toReal(&value));
    EXPECT_EQ(c.converts ? c.expected : -99.0, value);
  }
}

TEST(VsVariantTest, OtherTypesConvertToIntegerRoundingHalfToEven) {
  struct Case {
    VsVariant value;
    bool converts;
    int32_t expected;
    const char* why;
  };
  Case cases[] = {
      {VsVariant::fromInt(4), true, 4, "an integer stays"},
      {VsVariant::fromReal(4.4), true, 4, "down"},
      {VsVariant::fromReal(4.6), true, 5, "up"},
      {VsVariant::fromReal(2.5), true, 2, "half to the even 2"},
      {VsVariant::fromReal(3.5), true, 4, "half to the even 4"},
      {VsVariant::fromReal(-2.5), true, -2, "negative half to even"},
      {VsVariant::fromReal(-3.5), true, -4, "negative half to even"},
      {VsVariant::fromReal(2147483647.0), true, 2147483647, "largest"},
      {VsVariant::fromReal(3e9), false, 0, "too large"},
      {VsVariant::fromReal(-3e9), false, 0, "too small"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    int32_t value = -99;
    EXPECT_EQ(c.converts, c.value.toInt(&value));
    EXPECT_EQ(c.converts ? c.expected : -99, value);
  }
}

// A text becomes a double or an integer as VariantChangeType reads it in the
// English default: "," groups thousands and "$" is the currency symbol.
TEST(VsVariantTest, TextsConvertAsOleAutomationReadsNumbers) {
  const double kNoReal = NAN;
  const int64_t kNoInt = INT64_MAX;
  struct Case {
    std::wstring text;
    double real;
    int64_t integer;
    const char* why;
  };
  const Case cases[] = {
      {L"25", 25.0, 25, "digits"},
      {L" \t-2.5e1\r\n", -25.0, -25, "sign, exponent, blanks and line ends"},
      {L"\u300025\u00a0", 25.0, 25, "Unicode blanks around it"},
      {L"2 5", kNoReal, kNoInt, "a blank among the digits"},
      {L"1,000.5", 1000.5, 1000, "thousands separator"},
      {L"1,00", 100.0, 100, "separators need not group by three"},
      {L"1,,0", 10.0, 10, "repeated separators"},
      {L"1.2,5", 1.25, 1, "a separator in the fraction"},
      {L",5", kNoReal, kNoInt, "a separator before any digit"},
      {L".5", 0.5, 0, "no digit before the decimal separator"},
      {L"5.", 5.0, 5, "none after it"},
      {L".", kNoReal, kNoInt, "the decimal separator alone"},
      {L"5.5.5", kNoReal, kNoInt, "two decimal separators"},
      {L"&H19", 25.0, 25, "hexadecimal"},
      {L"&h1f", 31.0, 31, "hexadecimal in lower case"},
      {L"&O31", 25.0, 25, "octal"},
      {L"&O8", kNoReal, kNoInt, "not an octal digit"},
      {L"&H", kNoReal, kNoInt, "no hexadecimal digits"},
      {L"&H80000000", -2147483648.0, INT32_MIN, "32 bits, two's complement"},
      {L"&HFFFFFFFF", kNoReal, -1, "no double past &H80000000"},
      {L"&H0000000019", 25.0, 25, "leading zeros are no bits"},
      {L"&H100000000", kNoReal, kNoInt, "more than 32 bits"},
      {L"-&H19", 25.0, 25, "a sign does not negate hexadecimal"},
      {L"$&H19", kNoReal, kNoInt, "hexadecimal after the currency symbol"},
      {L"(25)", -25.0, -25, "parentheses negate"},
      {L"( -25)", -25.0, -25, "so does a minus inside them"},
      {L"(25", kNoReal, kNoInt, "a parenthesis not closed"},
      {L"25)", kNoReal, kNoInt, "a parenthesis not opened"},
      {L"((25))", kNoReal, kNoInt, "two parentheses"},
      {L"4-", -4.0, -4, "trailing minus"},
      {L"4 +", 4.0, 4, "trailing plus after a blank"},
      {L"+4-", -4.0, -4, "leading plus, trailing minus"},
      {L"-4-", kNoReal, kNoInt, "minus before and after"},
      {L"--4", kNoReal, kNoInt, "two leading minus signs"},
      {L"$25", 25.0, 25, "currency symbol before"},
      {L"-25 $", -25.0, -25, "currency symbol after"},
      {L"$$25", kNoReal, kNoInt, "two currency symbols before"},
      {L"1e2$", 100.0, 100, "an exponent before a currency symbol"},
      {L"$1e2", kNoReal, kNoInt, "no exponent after one"},
      {L"1E-3", 0.001, 0, "negative exponent"},
      {L"1e", kNoReal, kNoInt, "an exponent without digits"},
      {L"1d3", kNoReal, kNoInt, "only e marks an exponent"},
      {L"1E309", kNoReal, kNoInt, "too large for a double"},
      {L"1E-400", 0.0, 0, "too small for a double is zero"},
      {L"", kNoReal, kNoInt, "the empty text"},
      {L"-", kNoReal, kNoInt, "a sign alone"},
      {L"12abc", kNoReal, kNoInt, "a number and more"},
      {std::wstring(L"25\0001", 4), 25.0, 25, "read up to the first NUL"},
      {L"-2147483648", -2147483648.0, INT32_MIN, "the smallest integer"},
      {L"2147483648", 2147483648.0, kNoInt, "past the largest integer"},
      {L"2147483647.5", 2147483647.5, kNoInt, "rounded past the largest"},
      {L"-2147483648.5", -2147483648.5, INT32_MIN, "rounded to the even end"},
      {L"2.5", 2.5, 2, "half to the even 2"},
      {L"3.5", 3.5, 4, "half to the even 4"},
      {L"2.5000000000000001", 2.5, 3, "rounded on the digits, not the double"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    VsVariant value = VsVariant::fromText(c.text);
    double real = -99.0;
    EXPECT_EQ(!std::isnan(c.real), value.toReal(&real));
    EXPECT_EQ(std::isnan(c.real) ? -99.0 : c.real, real);
    int32_t integer = -99;
    EXPECT_EQ(c.integer != kNoInt, value.toInt(&integer));
    EXPECT_EQ(c.integer != kNoInt ? c.integer : -99, integer);
  }
}

TEST(VsVariantTest, MovedFromVariantIsEmpty) {
  VsVariant first = VsVariant::fromText(L"text");
  VsVariant second = std::move(first);
  std::wstring text;
  ASSERT_TRUE(second.toText(&text));
  EXPECT_EQ(L"text", text);
  ASSERT_TRUE(first.toText(&text));
  EXPECT_EQ(L"", text);
}

TEST(VsTextTest, Utf8RoundTripsAndRejectsInvalidBytes) {
  const std::string text = "web\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80";
  std::wstring wide = vsWideFromUtf8(text);
  EXPECT_EQ(text, vsUtf8FromWide(wide));
  EXPECT_EQ(L'\xe9', wide[3]);

  EXPECT_EQ(L"a\xfffd"
            L"b",
            vsWideFromUtf8("a\xff"
                           "b"));
  EXPECT_EQ(L"\xfffd", vsWideFromUtf8("\xc3"));           // cut short
  EXPECT_EQ(L"\xfffd\xfffd", vsWideFromUtf8("\xc0\xaf")); // overlong "/"
}

TEST(VsTextTest, BytesThatAreNotUtf8SurviveTheWideText) {
  const std::string cases[] = {
      "caf\xc3\xa9 \xff\xfe\x80 \x01\x1b",
      "\xc3",             // cut short
      "\xc0\xaf",         // overlong "/"
      "\xed\xa0\x80",     // a surrogate in UTF-8
      "\xf4\x90\x80\x80", // past U+10FFFF
      "\xf0\x9f\x98\x80", // valid, above U+FFFF
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(text, vsUtf8FromWide(vsWideFromBytes(text)));
  }
  EXPECT_EQ(L"a\xdcff"
            L"b",
            vsWideFromBytes("a\xff"
                            "b"));
}

TEST(VsTextTest, NarrowTextsOfTheEnablerCrossAsTheyAre) {
  EXPECT_EQ(L"", vsWideText(nullptr));
  EXPECT_EQ(L"", vsWideText(""));
  EXPECT_EQ(L"KEP_NODE_ID", vsWideText("KEP_NODE_ID"));
  EXPECT_EQ("HOST-A 1.3", vsLogText(L"HOST-A 1.3"));
}

} // namespace
