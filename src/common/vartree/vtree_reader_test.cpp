#include "common/vartree/memory_byte_reader.h"
#include "common/vartree/vtree.h"
#include "common/vartree/vtree_dump.h"

#include <gtest/gtest.h>

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

VtDocumentPtr readText(const std::string& text, std::vector<int> chunks = {}) {
  return VtDocumentPtr(
      vtReadDocumentFromMemory(text.data(), text.size(), chunks));
}

const std::string kHead = "1.0 0\n";

// Result code of reading `body` into a fresh unnamed group.
int bodyCode(const std::string& body) {
  MemoryByteReader stream(body.data(), body.size());
  VtLineReader reader;
  vtInitLineReader(&reader, &stream);
  VtNode* top = vtNewNode("");
  int code = vtReadNodes(&reader, top);
  vtFreeNode(top);
  return code;
}

// The one value `v` of the document's root group (the body is wrapped).
struct OneValue {
  VtDocumentPtr doc;
  const VtValue* value() const {
    return doc && doc->root ? vtNodeFindValue(doc->root, "v") : nullptr;
  }
};

OneValue readValue(const std::string& line) {
  return OneValue{readText(kHead + "(t\n" + line + "\n)\n")};
}

std::string repeat(char c, size_t n) {
  return std::string(n, c);
}

TEST(VtStatusLineTest, FormsAcceptedAndRejected) {
  struct Case {
    const char* why;
    std::string text;
    int32_t status; // -1: rejected
    int32_t major;
    int32_t minor;
    const char* statusText;
  };
  const int32_t kMax = std::numeric_limits<int32_t>::max();
  const Case cases[] = {
      {"minimal", "1.0 0\n", 0, 1, 0, ""},
      {"no line end", "1.0 0", 0, 1, 0, ""},
      {"text kept with its spaces", "2.5 3 some text  \n(a\n)\n", 3, 2, 5,
       "some text  "},
      {"tabs as white space", "1.0\t0\tx y\n", 0, 1, 0, "x y"},
      {"white space behind the status", "1.0 0   \n", 0, 1, 0, ""},
      {"status directly behind the minor", "1.0 00 t", 0, 1, 0, "t"},
      {"CR LF line end", "1.0 0 t\r\n", 0, 1, 0, "t"},
      {"CR hides the rest", "1.0 0 abc\rdef\n", 0, 1, 0, "abc"},
      {"comments before", ";c\n;\n1.2 4 ok\n", 4, 1, 2, "ok"},
      {"numbers beyond 32 bits saturate",
       "99999999999.4294967296 4294967296 t\n", kMax, kMax, kMax, "t"},
      {"no minor", "1 0\n", -1, 0, 0, nullptr},
      {"dot without minor", "1. 0\n", -1, 0, 0, nullptr},
      {"leading space", " 1.0 0\n", -1, 0, 0, nullptr},
      {"plus sign", "+1.0 0\n", -1, 0, 0, nullptr},
      {"minus sign", "-1.0 0\n", -1, 0, 0, nullptr},
      {"major 0", "0.0 0\n", -1, 0, 0, nullptr},
      {"signed status", "1.0 -1\n", -1, 0, 0, nullptr},
      {"no status", "1.0\n", -1, 0, 0, nullptr},
      {"minor runs into letters", "1.0x 0\n", -1, 0, 0, nullptr},
      {"minor and status run together", "1.05\n", -1, 0, 0, nullptr},
      {"blank line is the status line", "\n1.0 0\n", -1, 0, 0, nullptr},
      {"empty stream", "", -1, 0, 0, nullptr},
      {"only comments", ";a\n;b\n", -1, 0, 0, nullptr},
      {"indented comment is a status line", " ;a\n1.0 0\n", -1, 0, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    VtDocumentPtr doc = readText(c.text);
    ASSERT_NE(nullptr, doc);
    EXPECT_EQ(c.status, doc->status);
    if (c.status < 0) {
      EXPECT_EQ(nullptr, doc->text);
      EXPECT_EQ(nullptr, doc->root);
      continue;
    }
    EXPECT_EQ(c.major, doc->major);
    EXPECT_EQ(c.minor, doc->minor);
    EXPECT_STREQ(c.statusText, doc->text);
  }
}

TEST(VtStatusLineTest, RejectedStatusLineLeavesBodyUnread) {
  VtDocumentPtr doc = readText("1 0\n(a\nv:i=1\n)\n");
  EXPECT_EQ(-1, doc->status);
  EXPECT_EQ(nullptr, doc->root);
  EXPECT_EQ(3, vtGetInt(doc.get(), nullptr, "v", 3));
}

TEST(VtStatusLineTest, NullStreamGivesRejectedDocument) {
  VtDocumentPtr doc(vtReadDocument(nullptr));
  ASSERT_NE(nullptr, doc);
  EXPECT_EQ(-1, doc->status);
  EXPECT_EQ(nullptr, doc->text);
  EXPECT_EQ(nullptr, doc->root);
}

TEST(VtStatusLineTest, OnlyTheFirst255BytesAreSeen) {
  // 6 bytes of fields, then text up to byte 255; the body still follows.
  std::string text = "1.0 0 " + repeat('x', 300);
  VtDocumentPtr doc = readText(text + "\n(a\nv:i=4\n)\n");
  EXPECT_EQ(0, doc->status);
  EXPECT_EQ(repeat('x', 249), doc->text);
  EXPECT_EQ(4, vtGetInt(doc.get(), nullptr, "v", 0));
}

TEST(VtBodyTest, LineLengthLimits) {
  // Each case opens "t" and closes it with a ")" line of the given length,
  // then opens and closes "next". A line of 1024 bytes or more ends the
  // stream: its first 1024 bytes are the last line and "next" is never read.
  struct Case {
    size_t length;
    bool nextRead;
  };
  const Case cases[] = {
      {1, true}, {1023, true}, {1024, false}, {1025, false}, {5000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    std::string close = ")" + repeat('x', c.length - 1);
    VtDocumentPtr doc = readText(kHead + "(t\n" + close + "\n(next\n)\n");
    ASSERT_NE(nullptr, doc->root);
    EXPECT_STREQ("t", doc->root->name);
    EXPECT_EQ(c.nextRead, doc->root->next != nullptr);
  }
}

TEST(VtBodyTest, LongValueLinesAreCutAt1024Bytes) {
  struct Case {
    size_t length;
    size_t kept;
  };
  // "v:s=" takes 4 bytes of the line.
  const Case cases[] = {{1023, 1019}, {1024, 1020}, {1025, 1020}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    // The value line is the last line the group gets; with 1024 bytes or
    // more the stream ends and the group stays open, so read the body.
    std::string body = "v:s=" + repeat('y', c.length - 4) + "\n";
    MemoryByteReader stream(body.data(), body.size());
    VtLineReader reader;
    vtInitLineReader(&reader, &stream);
    VtNode* top = vtNewNode("");
    EXPECT_EQ(kVtOk, vtReadNodes(&reader, top));
    const char* s = vtValueString(vtNodeFindValue(top, "v"), "");
    EXPECT_EQ(c.kept, strlen(s));
    vtFreeNode(top);
  }
}

TEST(VtBodyTest, CarriageReturnsEndTheVisibleText) {
  const std::string lf = kHead + "(t\nv:s=a b\n(g\nw:i=2\n)\n)\n";
  const std::string crlf =
      "1.0 0\r\n(t\r\nv:s=a b\r\n(g\r\nw:i=2\r\n)\r\n)\r\n";
  EXPECT_EQ(vtDumpDocument(readText(lf).get()),
            vtDumpDocument(readText(crlf).get()));

  VtDocumentPtr doc = readText(kHead + "(t\rjunk\nv:s=abc\rdef\n)\r\n");
  ASSERT_NE(nullptr, doc->root);
  EXPECT_STREQ("t", doc->root->name);
  EXPECT_STREQ("abc", vtGetString(doc.get(), nullptr, "v", ""));

  // A line of only CR is blank: an error in the body.
  EXPECT_EQ(nullptr, readText(kHead + "(t\n\r\n)\n")->root);
}

TEST(VtBodyTest, CommentsAndLeadingWhiteSpace) {
  VtDocumentPtr doc =
      readText(kHead + ";before\n  (t\n\t;inside\n \v\f v:i=5\n ; x:i=6\n"
                       "   ) trailing text\n;after\n");
  ASSERT_NE(nullptr, doc->root);
  EXPECT_EQ(5, vtGetInt(doc.get(), nullptr, "v", 0));
  EXPECT_EQ(nullptr, vtFindValue(doc.get(), nullptr, "x"));
  EXPECT_EQ(nullptr, doc->root->next);
}

TEST(VtBodyTest, GroupNamesAreTheRestOfTheLine) {
  VtDocumentPtr doc = readText(kHead + "(top level\n( Inner x \n)\n(\n)\n)\n");
  ASSERT_NE(nullptr, doc->root);
  EXPECT_STREQ("top level", doc->root->name);
  ASSERT_NE(nullptr, doc->root->children);
  EXPECT_STREQ(" Inner x ", doc->root->children->name);
  ASSERT_NE(nullptr, doc->root->children->next);
  EXPECT_STREQ("", doc->root->children->next->name);
}

TEST(VtBodyTest, IntegerValues) {
  const int32_t kMax = std::numeric_limits<int32_t>::max();
  const int32_t kMin = std::numeric_limits<int32_t>::min();
  struct Case {
    const char* line;
    int32_t expected;
  };
  const Case cases[] = {
      {"v:i=42", 42},
      {"v:i=  -17xyz", -17},
      {"v:i=+5", 5},
      {"v:i=", 0},
      {"v:i=abc", 0},
      {"v:i=- 3", 0},
      {"v:i=2147483647", kMax},
      {"v:i=2147483648", kMax},
      {"v:i=-2147483648", kMin},
      {"v:i=-2147483649", kMin},
      {"v:i=99999999999999999999999", kMax},
      {"v:i=-99999999999999999999999", kMin},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    OneValue one = readValue(c.line);
    ASSERT_NE(nullptr, one.value());
    EXPECT_EQ(VtInt, one.value()->kind);
    EXPECT_EQ(c.expected, one.value()->payload.i);
  }
}

TEST(VtBodyTest, StringValuesAreTheWholeRest) {
  struct Case {
    const char* line;
    const char* expected;
  };
  const Case cases[] = {
      {"v:s=  a b  ", "  a b  "},
      {"v:s=", ""},
      {"v:s=x=y:z", "x=y:z"},
      {"v:s=\x1a\xff", "\x1a\xff"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    OneValue one = readValue(c.line);
    ASSERT_NE(nullptr, one.value());
    EXPECT_EQ(VtString, one.value()->kind);
    EXPECT_STREQ(c.expected, one.value()->payload.s);
  }
  // A 0 byte ends the line's visible text as a CR does.
  OneValue nul = readValue(std::string("v:s=ab\0cd", 9));
  EXPECT_STREQ("ab", nul.value()->payload.s);
}

TEST(VtBodyTest, RealValues) {
  const double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* line;
    double expected;
  };
  const Case cases[] = {
      {"v:f=3.5", 3.5},       {"v:f= -2.5e3x", -2500.0}, {"v:f=1e", 1.0},
      {"v:f=1e+", 1.0},       {"v:f=.5", 0.5},           {"v:f=5.", 5.0},
      {"v:f=.", 0.0},         {"v:f=abc", 0.0},          {"v:f=", 0.0},
      {"v:f=0x10", 0.0},      {"v:f=inf", 0.0},          {"v:f=nan", 0.0},
      {"v:f=1e999", kInf},    {"v:f=-1e999", -kInf},     {"v:f=0.1", 0.1},
      {"v:f=2.5E-3", 0.0025}, {"v:f=+7.25e+1", 72.5},    {"v:f=12 34", 12.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    OneValue one = readValue(c.line);
    ASSERT_NE(nullptr, one.value());
    EXPECT_EQ(VtReal, one.value()->kind);
    EXPECT_EQ(c.expected, one.value()->payload.f);
  }
  OneValue negativeZero = readValue("v:f=-0");
  EXPECT_TRUE(signbit(negativeZero.value()->payload.f));
}

TEST(VtBodyTest, DataValues) {
  struct Case {
    const char* line;
    std::vector<unsigned char> expected;
  };
  const Case cases[] = {
      {"v:d=2,0aFF", {0x0a, 0xff}},
      {"v:d=1,0a1234", {0x0a}},
      {"v:d= 3 ,000102", {0x00, 0x01, 0x02}},
      {"v:d=0,zz", {}},
      {"v:d=-5,ab", {}},
      {"v:d=,", {}},
      {"v:d=1,g0", {0x70}},       // ('g' - '0') * 16 + 0, low 8 bits
      {"v:d=1,zz", {0xea}},       // ('z' - '0') * 17, low 8 bits
      {"v:d=1,\xff\x80", {0x40}}, // (0xff - 0x30) * 16 + 0x80 - 0x30
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    OneValue one = readValue(c.line);
    ASSERT_NE(nullptr, one.value());
    EXPECT_EQ(VtData, one.value()->kind);
    ASSERT_EQ(int32_t(c.expected.size()), one.value()->length);
    if (c.expected.empty()) {
      EXPECT_EQ(nullptr, one.value()->payload.d);
      continue;
    }
    EXPECT_EQ(0, memcmp(c.expected.data(), one.value()->payload.d,
                        c.expected.size()));
  }
}

TEST(VtBodyTest, WideStringValues) {
  struct Case {
    const char* line;
    std::u16string expected;
  };
  const Case cases[] = {
      {"v:u=0,", u""},
      {"v:u=-1,41", u""},
      {"v:u=2,4142", u"AB"},
      {"v:u=2,c3a9", u"\u00e9"},
      {"v:u=3,e282ac", u"\u20ac"},
      {"v:u=4,f09f9880", std::u16string(1, char16_t(0xf600))},
      {"v:u=1,81", std::u16string(1, char16_t(1))},
      {"v:u=2,bf41", u"\u003fA"},
      {"v:u=1,c3", std::u16string(1, char16_t(0x03))},
      {"v:u=3,410042", u"A"},
      {"v:u=2,c341", std::u16string(1, char16_t(0xc1))},
      // 0xff takes the "A" as a following byte: its low 6 bits.
      {"v:u=2,ff41", std::u16string(1, char16_t(1))},
      {"v:u=9,ff818283848586878a",
       std::u16string({char16_t(0x5187), char16_t(0x0a)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    OneValue one = readValue(c.line);
    ASSERT_NE(nullptr, one.value());
    EXPECT_EQ(VtWString, one.value()->kind);
    ASSERT_NE(nullptr, one.value()->payload.u);
    EXPECT_EQ(c.expected, std::u16string(one.value()->payload.u));
  }
}

TEST(VtBodyTest, ResultCodes) {
  struct Case {
    const char* why;
    std::string body;
    int code;
  };
  const Case cases[] = {
      {"empty body", "", kVtOk},
      {"groups left open", "(a\n(b\nv:i=1\n", kVtOk},
      {"blank line", "(a\n\n)\n", kVtBadLine},
      {"line of spaces", "(a\n   \n)\n", kVtBadLine},
      {"digit first", "(a\n1v:i=1\n)\n", kVtBadLine},
      {"underscore first", "(a\n_v:i=1\n)\n", kVtBadLine},
      {"close without open", ")\n", kVtUnbalanced},
      {"one close too many", "(a\n)\n)\n", kVtUnbalanced},
      {"no colon", "(a\nv=1\n)\n", kVtBadValueLine},
      {"no equals", "(a\nv:i1\n)\n", kVtBadValueLine},
      {"no type letter", "(a\nv:=1\n)\n", kVtBadValueLine},
      {"two letters", "(a\nv:ii=1\n)\n", kVtBadValueLine},
      {"equals before colon", "(a\nv=x:i=1\n)\n", kVtBadValueLine},
      {"unknown letter", "(a\nv:x=1\n)\n", kVtBadType},
      {"capital letter", "(a\nv:I=1\n)\n", kVtBadType},
      {"data without comma", "(a\nv:d=2\n)\n", kVtBadPayload},
      {"data short of digits", "(a\nv:d=3,0aFF\n)\n", kVtBadPayload},
      {"data with an odd digit", "(a\nv:d=1,a\n)\n", kVtBadPayload},
      {"wide without comma", "(a\nv:u=0\n)\n", kVtBadPayload},
      {"wide short of digits", "(a\nv:u=2,41\n)\n", kVtBadPayload},
      {"count beyond 32 bits", "(a\nv:d=99999999999,00\n)\n", kVtBadPayload},
      {"error stops the reading", "(a\n)\n)\n(\n(\n", kVtUnbalanced},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(c.code, bodyCode(c.body));
    VtDocumentPtr doc = readText(kHead + "(z\n)\n" + c.body);
    ASSERT_EQ(0, doc->status);
    EXPECT_EQ(c.code == kVtOk, doc->root != nullptr);
  }
}

std::string nested(int groups) {
  std::string body;
  for (int i = 0; i < groups; ++i)
    body += "(g" + std::to_string(i) + "\n";
  body += "v:i=9\n";
  for (int i = 0; i < groups; ++i)
    body += ")\n";
  return body;
}

TEST(VtBodyTest, ThirtyTwoGroupsMayBeOpenButNotThirtyThree) {
  EXPECT_EQ(kVtOk, bodyCode(nested(32)));
  VtDocumentPtr doc = readText(kHead + nested(32));
  std::string path;
  for (int i = 1; i < 32; ++i)
    path += (i > 1 ? "." : "") + ("g" + std::to_string(i));
  EXPECT_EQ(9, vtGetInt(doc.get(), path.c_str(), "v", 0));

  EXPECT_EQ(kVtTooDeep, bodyCode(nested(33)));
  VtDocumentPtr deep = readText(kHead + nested(33));
  EXPECT_EQ(0, deep->status);
  EXPECT_EQ(nullptr, deep->root);
  // Reopening after a close keeps within the limit.
  EXPECT_EQ(kVtOk, bodyCode(nested(32) + nested(32)));
}

TEST(VtBodyTest, DuplicateValuesKeepTheFirst) {
  VtDocumentPtr doc =
      readText(kHead + "(t\nType:s=a\nType:s=b\nType:i=3\nOther:i=1\n)\n");
  ASSERT_NE(nullptr, doc->root);
  EXPECT_STREQ("a", vtGetString(doc.get(), nullptr, "Type", ""));
  ASSERT_NE(nullptr, doc->root->values->next);
  EXPECT_STREQ("Other", doc->root->values->next->name);
  EXPECT_EQ(nullptr, doc->root->values->next->next);

  // Enough values to take a group past the point where its names are
  // indexed: order and first-wins must be the same.
  std::string body = "(t\n";
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 300; ++i)
      body += "n" + std::to_string(i) + ":i=" + std::to_string(round) + "\n";
  }
  VtDocumentPtr many = readText(kHead + body + ")\n");
  int i = 0;
  for (const VtValue* v = many->root->values; v; v = v->next, ++i) {
    EXPECT_EQ("n" + std::to_string(i), v->name);
    EXPECT_EQ(0, v->payload.i);
  }
  EXPECT_EQ(300, i);
}

TEST(VtBodyTest, WhatTheBodyYields) {
  // Values outside every group are discarded; a name both outside and inside
  // is found inside.
  VtDocumentPtr outside = readText(kHead + "v:i=1\n(t\nv:i=2\n)\nw:i=3\n");
  EXPECT_EQ(2, vtGetInt(outside.get(), nullptr, "v", 0));
  EXPECT_EQ(0, vtGetInt(outside.get(), nullptr, "w", 0));

  // Several top-level groups: the first is the root, the rest its siblings.
  VtDocumentPtr several =
      readText(kHead + "(a\nv:i=1\n)\n(b\nv:i=2\n)\n(c\n)\n");
  ASSERT_NE(nullptr, several->root);
  EXPECT_STREQ("a", several->root->name);
  ASSERT_NE(nullptr, several->root->next);
  EXPECT_STREQ("b", several->root->next->name);
  ASSERT_NE(nullptr, several->root->next->next);
  EXPECT_STREQ("c", several->root->next->next->name);
  EXPECT_EQ(1, vtGetInt(several.get(), nullptr, "v", 0));

  // The first top-level group whose ")" was read is the root.
  VtDocumentPtr later = readText(kHead + "(a\n(b\n)\n");
  EXPECT_EQ(nullptr, later->root);
  VtDocumentPtr unclosedInner = readText(kHead + "(a\nv:i=1\n)\n(b\n(c\n");
  ASSERT_NE(nullptr, unclosedInner->root);
  EXPECT_EQ(nullptr, unclosedInner->root->next);
  VtDocumentPtr lostChild = readText(kHead + "(a\n(b\nv:i=1\n");
  EXPECT_EQ(nullptr, lostChild->root);
}

TEST(VtLineReaderTest, LinesAreCopiedCutAndZeroFilled) {
  std::string text = "short\nlonger line\r\nlast";
  MemoryByteReader stream(text.data(), text.size());
  VtLineReader reader;
  vtInitLineReader(&reader, &stream);
  char line[8];
  memset(line, 'X', sizeof line);
  ASSERT_EQ(line, vtReadLine(&reader, line, sizeof line));
  EXPECT_EQ(0, memcmp("short\0\0\0", line, 8));
  ASSERT_EQ(line, vtReadLine(&reader, line, sizeof line));
  EXPECT_EQ(0, memcmp("longer \0", line, 8));
  memset(line, 'X', sizeof line);
  ASSERT_EQ(line, vtReadLine(&reader, line, sizeof line));
  EXPECT_EQ(0, memcmp("last\0\0\0\0", line, 8));
  EXPECT_EQ(nullptr, vtReadLine(&reader, line, sizeof line));
  EXPECT_EQ(nullptr, vtReadLine(&reader, line, sizeof line));
}

TEST(VtLineReaderTest, FullBufferEndsTheStream) {
  std::string text = repeat('a', 1024) + "\nmore\n";
  MemoryByteReader stream(text.data(), text.size());
  VtLineReader reader;
  vtInitLineReader(&reader, &stream);
  char line[2048];
  ASSERT_NE(nullptr, vtReadLine(&reader, line, sizeof line));
  EXPECT_EQ(repeat('a', 1024), line);
  int reads = stream.reads();
  EXPECT_EQ(nullptr, vtReadLine(&reader, line, sizeof line));
  EXPECT_EQ(reads, stream.reads());
}

TEST(VtDecodeHexTest, CountsDigitsBeforeAllocating) {
  struct Case {
    const char* text;
    int code;
    int32_t count;
  };
  const Case cases[] = {
      {"2,0aFF", kVtOk, 2},
      {"0,", kVtOk, 0},
      {"-2147483648,", kVtOk, 0},
      {"no comma", kVtHexNoComma, 0},
      {"3,0aFF", kVtHexShort, 0},
      {"2147483647,00", kVtHexShort, 0},
      {"1073741824,0000", kVtHexShort, 0},
      {"99999999999,00", kVtHexShort, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    unsigned char* data = reinterpret_cast<unsigned char*>(1);
    int32_t count = -7;
    EXPECT_EQ(c.code, vtDecodeHex(c.text, &data, &count));
    EXPECT_EQ(c.count, count);
    EXPECT_EQ(c.count == 0, data == nullptr);
    free(data);
  }
}

TEST(VtUtf8ToWideTest, LimitsAndInputEndAreKept) {
  char16_t out[8];
  const unsigned char abc[] = {'A', 'B', 'C'};
  EXPECT_EQ(0, vtUtf8ToWide(nullptr, 4, abc, 3));
  out[0] = u'X';
  EXPECT_EQ(0, vtUtf8ToWide(out, 0, abc, 3));
  EXPECT_EQ(u'X', out[0]);
  EXPECT_EQ(0, vtUtf8ToWide(out, 1, abc, 3));
  EXPECT_EQ(0, out[0]);
  EXPECT_EQ(2, vtUtf8ToWide(out, 3, abc, 3));
  EXPECT_EQ(std::u16string(u"AB"), std::u16string(out));

  // Sequences cut short by the input's end, each in a block of exactly its
  // size so that a read past it would be caught by the address sanitizer.
  struct Case {
    std::vector<unsigned char> bytes;
    std::u16string expected;
  };
  const Case cases[] = {
      {{0xe2, 0x82}, std::u16string(1, char16_t(0x82))},
      {{0xff}, std::u16string(1, char16_t(0))},
      {{0xff, 0x81, 0x82}, std::u16string(1, char16_t(0x42))},
      {{0xfe, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86},
       std::u16string(1, char16_t(0x4146))},
      {{0xf0, 0x9f, 0x98, 0x80, 'x'}, std::u16string({char16_t(0xf600), u'x'})},
  };
  for (const Case& c : cases) {
    std::unique_ptr<unsigned char[]> exact(new unsigned char[c.bytes.size()]);
    memcpy(exact.get(), c.bytes.data(), c.bytes.size());
    int n = vtUtf8ToWide(out, 8, exact.get(), int(c.bytes.size()));
    ASSERT_EQ(int(c.expected.size()), n);
    EXPECT_EQ(c.expected, std::u16string(out, n));
    EXPECT_EQ(0, out[n]);
  }
}

// Every document above, read in one piece, a byte at a time and in random
// chunks, must give the same document.
TEST(VtReaderChunkTest, ChunkSizesDoNotChangeTheResult) {
  std::vector<std::string> texts = {
      kHead + "(t\nv:i=1\n(g\nw:s= x \nd:d=2,0aff\nu:u=2,c3a9\nf:f=1.5\n)\n)\n",
      "1.0 0\r\n(t\r\nv:s=a\rb\r\n)\r\n(s\r\n)\r\n",
      ";c\n;c\n2.3 4 text\n(a\n)\n",
      kHead + "(t\n)" + repeat('x', 1022) + "\n(n\n)\n",
      kHead + "(t\n)" + repeat('x', 1023) + "\n(n\n)\n",
      kHead + "(t\nv:s=" + repeat('x', 2000) + "\n)\n",
      "1.0 0 " + repeat('s', 600) + "\n(t\n)\n",
      kHead + nested(32),
      kHead + nested(33),
      kHead + "(t\nv:i=1\nv:i=2\n)\n",
      kHead + "(t\n\n)\n",
  };
  const char withNul[] = "1.0 0\n(t\nv:s=a\0b\n)\n\0\n";
  texts.push_back(std::string(withNul, sizeof withNul - 1));
  std::string big = kHead;
  for (int i = 0; i < 200; ++i)
    big += "(g\nn" + std::to_string(i) + ":i=" + std::to_string(i) + "\n)\n";
  texts.push_back(big);

  std::mt19937 random(12345);
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 40));
    std::string whole = vtDumpDocument(readText(text).get());
    EXPECT_EQ(whole, vtDumpDocument(readText(text, {1}).get()));
    for (int round = 0; round < 5; ++round) {
      std::vector<int> chunks;
      for (int i = 0; i < 64; ++i)
        chunks.push_back(int(random() % 1100) + 1);
      EXPECT_EQ(whole, vtDumpDocument(readText(text, chunks).get()));
    }
  }
}

/// Memory that gives out `budget` blocks and then none, and counts the
/// blocks it gave that were not given back.
class RationedMemory : public VtMemory {
public:
  explicit RationedMemory(long budget) : budget_(budget) {}
  void* allocate(size_t size) override {
    if (given_ == budget_)
      return nullptr;
    ++given_;
    ++held_;
    return malloc(size);
  }
  void release(void* block, size_t) override {
    --held_;
    free(block);
  }
  long given() const { return given_; }
  long held() const { return held_; }

private:
  long budget_;
  long given_ = 0;
  long held_ = 0;
};

// Memory that runs out at any allocation, a name index's growth included,
// fails the read there with its reason: never a slower way round, never a
// part of the tree. What was taken goes back with the document.
TEST(VtReaderMemoryTest, MemoryThatRunsOutFailsTheReadWithItsReason) {
  std::string text = kHead + "(wide\n";
  for (int i = 0; i < 3000; ++i)
    text += "n" + std::to_string(i) + ":s=value\n";
  text += ")\n";
  for (int i = 0; i < 300; ++i)
    text += "(g\nv:i=" + std::to_string(i) + "\nw:u=2,c3a9\n)\n";

  RationedMemory plenty(1000000);
  SystemError none;
  MemoryByteReader wholeStream(text.data(), text.size());
  VtDocumentPtr whole(vtReadDocument(&wholeStream, &none, &plenty));
  ASSERT_FALSE(none.failed());
  EXPECT_EQ(vtDumpDocument(readText(text).get()), vtDumpDocument(whole.get()));
  whole.reset();
  EXPECT_EQ(0, plenty.held());

  for (long budget = 0; budget < plenty.given(); ++budget) {
    SCOPED_TRACE("blocks given: " + std::to_string(budget));
    RationedMemory memory(budget);
    MemoryByteReader stream(text.data(), text.size());
    SystemError error;
    VtDocument* document = vtReadDocument(&stream, &error, &memory);
    EXPECT_EQ(budget > 0, document != nullptr);
    if (document) {
      EXPECT_EQ(0, document->status);
      EXPECT_EQ(nullptr, document->root);
      EXPECT_EQ(1, memory.held());
    }
    EXPECT_EQ(
        systemError("read the document", outOfMemoryErrorCode()).message(),
        error.message());
    vtFreeDocument(document);
    EXPECT_EQ(0, memory.held());
  }
}

// The records of a document lie in a few large blocks, not one block each;
// a group that is never closed gives its blocks back at once; records a
// caller adds have blocks of their own and go with the document.
TEST(VtReaderMemoryTest, DocumentsLieInFewBlocks) {
  std::string text = kHead;
  for (int i = 0; i < 20000; ++i)
    text += "(g\nv:i=" + std::to_string(i) + "\nName:s=text\n)\n";
  RationedMemory memory(1000000);
  MemoryByteReader stream(text.data(), text.size());
  VtDocumentPtr doc(vtReadDocument(&stream, nullptr, &memory));
  ASSERT_NE(nullptr, doc->root);
  EXPECT_GT(40, memory.given()) << "for " << text.size() << " bytes";
  EXPECT_EQ(0, vtGetInt(doc.get(), nullptr, "v", -1));
  vtNodeAddValue(doc->root, vtNewValue("added", VtInt));
  vtNodeAddChild(doc->root, vtNewNode("added"));
  doc.reset();
  EXPECT_EQ(0, memory.held());

  RationedMemory unclosed(1000000);
  std::string open = kHead + "(a\n)\n(b\n" + text.substr(kHead.size());
  MemoryByteReader openStream(open.data(), open.size());
  VtDocumentPtr partial(vtReadDocument(&openStream, nullptr, &unclosed));
  ASSERT_NE(nullptr, partial->root);
  EXPECT_EQ(nullptr, partial->root->next);
  EXPECT_LT(1, unclosed.given());
  EXPECT_EQ(1, unclosed.held());
}

TEST(VtDumpTest, LinesForEveryKind) {
  VtDocumentPtr doc =
      readText("1.2 3 the text\n(top\ni:i=-4\ns:s= a \nf:f=0.1\nd:d=3,00aBff\n"
               "e:d=0,\nu:u=4,41c3a9ff\n(child\nx:i=1\n)\n)\n(second\n)\n");
  EXPECT_EQ("status 3 1 2\n"
            "text the text\n"
            "root yes\n"
            "group 0 top\n"
            "value 1 i i -4\n"
            "value 1 s s  a \n"
            "value 1 f f 0.10000000000000001\n"
            "value 1 d d 00abff\n"
            "value 1 e d \n"
            "value 1 u u 004100e9\n"
            "group 1 child\n"
            "value 2 x i 1\n"
            "group 0 second\n",
            vtDumpDocument(doc.get()));
  EXPECT_EQ("status -1\ntext\nroot no\n",
            vtDumpDocument(readText("1 0\n(a\n)\n").get()));
  EXPECT_EQ("status 0 1 0\ntext \nroot no\n",
            vtDumpDocument(readText(kHead + "(a\n").get()));
}

#if GTEST_HAS_DEATH_TEST
TEST(VtReaderDeathTest, BrokenPreconditionsNameTheExpression) {
  VtLineReader reader;
  vtInitLineReader(&reader, nullptr);
  unsigned char* data = nullptr;
  int32_t count = 0;
  EXPECT_DEATH(vtReadNodes(&reader, nullptr),
               "Assertion failed: root != 0, file vtree");
  EXPECT_DEATH(vtDecodeHex(nullptr, &data, &count),
               "Assertion failed: str != 0, file vtree");
  EXPECT_DEATH(vtDecodeHex("1,00", nullptr, &count),
               "Assertion failed: data != 0, file vtree");
}
#endif

} // namespace
