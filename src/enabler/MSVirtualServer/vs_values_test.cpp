#include "enabler/MSVirtualServer/vs_values.h"

#include <gtest/gtest.h>

#include <cmath>

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
      {VsVariant::fromText(L"25"), true, 25.0, "a text of digits"},
      {VsVariant::fromText(L" 37.5 "), true, 37.5, "blanks around it"},
      {VsVariant::fromText(L"-2.5e1"), true, -25.0, "sign and exponent"},
      {VsVariant::fromText(L"abc"), false, 0.0, "no number"},
      {VsVariant::fromText(L"12abc"), false, 0.0, "a number and more"},
      {VsVariant::fromText(L""), false, 0.0, "the empty text"},
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
      {VsVariant::fromText(L"8"), true, 8, "a text of digits"},
      {VsVariant::fromText(L"4.5"), true, 4, "a text rounded"},
      {VsVariant::fromText(L"four"), false, 0, "no number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    int32_t value = -99;
    EXPECT_EQ(c.converts, c.value.toInt(&value));
    EXPECT_EQ(c.converts ? c.expected : -99, value);
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
