#include "common/vartree/vtree.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

namespace {

VtValue* intValue(const char* name, int32_t i) {
  VtValue* v = vtNewValue(name, VtInt);
  v->payload.i = i;
  return v;
}

VtValue* stringValue(const char* name, const char* s) {
  VtValue* v = vtNewValue(name, VtString);
  v->payload.s = vtCopyString(s);
  return v;
}

VtNode* child(VtNode* parent, const char* name) {
  VtNode* n = vtNewNode(name);
  vtNodeAddChild(parent, n);
  return n;
}

// The shape of a cpuid report, with the corners the lookup must handle:
//   (report  Count=2  Real=2.5
//     (Processor  Manufacturer="GenuineIntel"  Type=7
//       (Features  LM=1))
//     (Processor  Manufacturer="second")
//     ("" Hidden=11 ("" Deeper=12))
//     (a.b  Dotted=13))
class VtLookupTest : public ::testing::Test {
protected:
  void SetUp() override {
    doc = static_cast<VtDocument*>(calloc(1, sizeof(VtDocument)));
    doc->status = 0;
    VtNode* root = vtNewNode("report");
    doc->root = root;
    vtNodeAddValue(root, intValue("Count", 2));
    VtValue* real = vtNewValue("Real", VtReal);
    real->payload.f = 2.5;
    vtNodeAddValue(root, real);
    VtNode* processor = child(root, "Processor");
    vtNodeAddValue(processor, stringValue("Manufacturer", "GenuineIntel"));
    vtNodeAddValue(processor, intValue("Type", 7));
    vtNodeAddValue(child(processor, "Features"), intValue("LM", 1));
    vtNodeAddValue(child(root, "Processor"),
                   stringValue("Manufacturer", "second"));
    VtNode* unnamed = child(root, "");
    vtNodeAddValue(unnamed, intValue("Hidden", 11));
    vtNodeAddValue(child(unnamed, ""), intValue("Deeper", 12));
    vtNodeAddValue(child(root, "a.b"), intValue("Dotted", 13));
  }
  void TearDown() override { vtFreeDocument(doc); }

  VtDocument* doc = nullptr;
};

TEST_F(VtLookupTest, PathsReachTheirGroups) {
  struct Case {
    const char* path;
    const char* name;
    int32_t expected;
  };
  const Case cases[] = {
      {nullptr, "Count", 2},
      {"", "Count", 2},
      {"Processor", "Type", 7},
      {"Processor.Features", "LM", 1},
      {"Processor.Features.", "LM", 1},
      {"processor", "Type", -1},
      {"Processor.features", "LM", -1},
      {"Missing", "Count", -1},
      {"Processor.Missing", "LM", -1},
      {"Processor", "Missing", -1},
      {"Processor", "type", -1},
      {".", "Hidden", 11},
      {"..", "Deeper", 12},
      {".Processor", "Type", -1},
      {"a.b", "Dotted", -1},
      {"Processor..Features", "LM", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("path ") + (c.path ? c.path : "(null)") +
                 ", name " + c.name);
    EXPECT_EQ(c.expected, vtGetInt(doc, c.path, c.name, -1));
  }
}

TEST_F(VtLookupTest, KindsAreNeverConverted) {
  EXPECT_EQ(-1, vtGetInt(doc, nullptr, "Real", -1));
  const char* dflt = "Unknown";
  EXPECT_EQ(dflt, vtGetString(doc, "Processor", "Type", dflt));
  EXPECT_EQ(-1, vtGetInt(doc, "Processor", "Manufacturer", -1));
  EXPECT_STREQ("GenuineIntel",
               vtGetString(doc, "Processor", "Manufacturer", dflt));
  VtValue* real = vtFindValue(doc, nullptr, "Real");
  ASSERT_NE(nullptr, real);
  EXPECT_EQ(VtReal, real->kind);
  EXPECT_EQ(2.5, real->payload.f);
}

TEST_F(VtLookupTest, MissingStringGivesTheDefaultPointerItself) {
  const char dflt[] = "Unknown";
  EXPECT_EQ(dflt, vtGetString(doc, "Processor", "Model", dflt));
  EXPECT_EQ(dflt, vtGetString(doc, "NoSuchGroup", "Manufacturer", dflt));
  EXPECT_EQ(nullptr, vtGetString(doc, "Processor", "Model", nullptr));
}

TEST_F(VtLookupTest, RepeatedChildNamesAreToldApartByOrder) {
  EXPECT_STREQ("GenuineIntel",
               vtGetString(doc, "Processor", "Manufacturer", nullptr));
  VtNode* second = vtNodeFindChild(doc->root, "Processor", 1);
  ASSERT_NE(nullptr, second);
  EXPECT_STREQ("second",
               vtValueString(vtNodeFindValue(second, "Manufacturer"), nullptr));
  EXPECT_EQ(nullptr, vtNodeFindChild(doc->root, "Processor", 2));
  EXPECT_EQ(vtNodeFindChild(doc->root, "Processor", 0), doc->root->children);
}

TEST(VtDocumentTest, DocumentWithoutRootGivesDefaults) {
  VtDocument rejected = {-1, 0, 0, nullptr, nullptr, nullptr};
  const char* dflt = "d";
  EXPECT_EQ(5, vtGetInt(&rejected, nullptr, "Count", 5));
  EXPECT_EQ(dflt, vtGetString(&rejected, "Processor", "Manufacturer", dflt));
  EXPECT_EQ(nullptr, vtFindValue(&rejected, "", "Count"));
  EXPECT_EQ(6, vtGetInt(nullptr, nullptr, "Count", 6));
  EXPECT_EQ(dflt, vtGetString(nullptr, nullptr, "Count", dflt));
  EXPECT_EQ(7, vtValueInt(nullptr, 7));
  EXPECT_EQ(dflt, vtValueString(nullptr, dflt));
}

TEST(VtNodeTest, SecondValueOfSameNameIsRefusedAndFirstStays) {
  VtNode* group = vtNewNode("Processor");
  ASSERT_TRUE(vtNodeAddValue(group, stringValue("Type", "first")));
  ASSERT_TRUE(vtNodeAddValue(group, intValue("Family", 6)));
  VtValue* second = stringValue("Type", "second");
  EXPECT_FALSE(vtNodeAddValue(group, second));
  EXPECT_EQ(nullptr, second->next);
  EXPECT_STREQ("first", vtValueString(vtNodeFindValue(group, "Type"), ""));
  int count = 0;
  for (VtValue* v = group->values; v; v = v->next)
    ++count;
  EXPECT_EQ(2, count);
  EXPECT_STREQ("Family", group->values->next->name);
  vtFreeValue(second);
  vtFreeNode(group);
}

// A group built through vtNodeAddValue costs the same per value whatever its
// size: walking it for each addition compared 134 million names for these
// 16384. The index must also follow values changed by hand.
TEST(VtNodeTest, LargeGroupsAreBuiltInLinearWork) {
  const int kValues = 16384;
  VtNode* group = vtNewNode("g");
  unsigned long before = vtNameComparisons();
  for (int i = 0; i < kValues; ++i)
    ASSERT_TRUE(
        vtNodeAddValue(group, intValue(("v" + std::to_string(i)).c_str(), i)));
  EXPECT_GT(4ul * kValues, vtNameComparisons() - before);
  int i = 0;
  VtValue* last = nullptr;
  for (VtValue* v = group->values; v; v = v->next, ++i) {
    ASSERT_EQ("v" + std::to_string(i), v->name);
    last = v;
  }
  EXPECT_EQ(kValues, i);

  struct Case {
    const char* name;
    bool added;
    const char* why;
  };
  // A value linked behind the last one by hand, then the whole list taken
  // away by hand: each addition must see the list as it now is.
  VtValue* byHand = intValue("byHand", 0);
  last->next = byHand;
  const Case linked[] = {{"v7", false, "an early name"},
                         {"v16383", false, "the last name added"},
                         {"byHand", false, "a name linked by hand"},
                         {"new", true, "a new name"}};
  for (const Case& c : linked) {
    SCOPED_TRACE(c.why);
    VtValue* v = intValue(c.name, 1);
    EXPECT_EQ(c.added, vtNodeAddValue(group, v));
    if (!c.added)
      vtFreeValue(v);
  }
  VtValue* taken = group->values;
  group->values = nullptr;
  EXPECT_TRUE(vtNodeAddValue(group, intValue("v7", 3)));
  EXPECT_EQ(3, vtValueInt(vtNodeFindValue(group, "v7"), 0));
  EXPECT_EQ(nullptr, group->values->next);
  while (taken) {
    VtValue* next = taken->next;
    vtFreeValue(taken);
    taken = next;
  }
  vtFreeNode(group);
}

TEST(VtNodeTest, AddedChildLosesItsOldSiblingLink) {
  VtNode* parent = vtNewNode("p");
  VtNode* a = vtNewNode("a");
  VtNode* stale = vtNewNode("stale");
  a->next = stale;
  vtNodeAddChild(parent, a);
  EXPECT_EQ(nullptr, a->next);
  VtNode* b = vtNewNode("a");
  vtNodeAddChild(parent, b);
  EXPECT_EQ(b, a->next);
  EXPECT_EQ(b, vtNodeFindChild(parent, "a", 1));
  vtFreeNode(parent);
  vtFreeNode(stale);
}

TEST(VtNodeTest, CopiesAreFreshAndNullStaysNull) {
  EXPECT_EQ(nullptr, vtCopyString(nullptr));
  EXPECT_EQ(nullptr, vtCopyWString(nullptr));
  EXPECT_EQ(nullptr, vtCopyData(nullptr, 4));
  const char text[] = "text";
  char* s = vtCopyString(text);
  EXPECT_NE(text, s);
  EXPECT_STREQ(text, s);
  const char16_t wide[] = u"w\u00e9";
  char16_t* w = vtCopyWString(wide);
  EXPECT_NE(wide, w);
  EXPECT_EQ(std::u16string(wide), std::u16string(w));
  const unsigned char bytes[] = {0, 0xff, 0x1a};
  unsigned char* d = vtCopyData(bytes, 3);
  EXPECT_NE(bytes, d);
  EXPECT_EQ(0, memcmp(bytes, d, 3));
  free(s);
  free(w);
  free(d);
}

// Releasing must neither recurse along a sibling list nor down a chain.
TEST(VtNodeTest, LongSiblingListsAndDeepChainsAreReleased) {
  VtDocument* doc = static_cast<VtDocument*>(calloc(1, sizeof(VtDocument)));
  doc->root = vtNewNode("root");
  VtNode* tail = doc->root;
  for (int i = 0; i < 10000; ++i) {
    VtNode* sibling = vtNewNode("sibling");
    vtNodeAddValue(sibling, stringValue("v", "x"));
    tail->next = sibling;
    tail = sibling;
  }
  VtNode* deep = doc->root;
  for (int i = 0; i < 100000; ++i)
    deep = child(deep, "d");
  VtNode* wide = child(doc->root, "wide");
  VtNode* last = nullptr;
  for (int i = 0; i < 10000; ++i) {
    VtNode* n = vtNewNode("w");
    if (last)
      last->next = n;
    else
      wide->children = n;
    last = n;
  }
  vtFreeDocument(doc);
}

// A value or group put together by hand owns separate blocks for its name
// and payload; releasing it must release those too (the leak checker of the
// sanitizer build watches this).
TEST(VtNodeTest, HandMadeRecordsReleaseTheirOwnBlocks) {
  VtNode* group = static_cast<VtNode*>(calloc(1, sizeof(VtNode)));
  group->name = vtCopyString("hand");
  VtValue* s = static_cast<VtValue*>(calloc(1, sizeof(VtValue)));
  s->name = vtCopyString("s");
  s->kind = VtString;
  s->payload.s = vtCopyString("text");
  VtValue* d = static_cast<VtValue*>(calloc(1, sizeof(VtValue)));
  d->name = vtCopyString("d");
  d->kind = VtData;
  const unsigned char bytes[] = {1, 2};
  d->payload.d = vtCopyData(bytes, 2);
  d->length = 2;
  EXPECT_TRUE(vtNodeAddValue(group, s));
  EXPECT_TRUE(vtNodeAddValue(group, d));
  vtNodeAddChild(group, vtNewNode("made"));
  vtFreeNode(group);
}

TEST(VtNodeTest, FreeingAGroupLeavesItsSiblings) {
  VtNode* a = vtNewNode("a");
  VtNode* b = vtNewNode("b");
  a->next = b;
  child(a, "inner");
  vtFreeNode(a);
  EXPECT_STREQ("b", b->name);
  vtFreeNode(b);
}

#if GTEST_HAS_DEATH_TEST
TEST(VtNodeDeathTest, BrokenPreconditionsNameTheExpression) {
  VtNode* group = vtNewNode("g");
  VtValue nameless = {};
  VtNode unnamed = {};
  EXPECT_DEATH(vtNodeAddValue(group, nullptr),
               "Assertion failed: v != 0, file vtree");
  EXPECT_DEATH(vtNodeAddValue(group, &nameless),
               "Assertion failed: v->name != 0, file vtree");
  EXPECT_DEATH(vtNodeAddChild(group, nullptr),
               "Assertion failed: n != 0, file vtree");
  EXPECT_DEATH(vtNodeAddChild(group, &unnamed),
               "Assertion failed: n->name != 0, file vtree");
  EXPECT_DEATH(vtNodeFindPath(group, "a", nullptr),
               "Assertion failed: name != 0, file vtree");
  EXPECT_DEATH(vtNodeFindValue(group, nullptr),
               "Assertion failed: name != 0, file vtree");
  EXPECT_DEATH(vtNodeFindChild(group, nullptr, 0),
               "Assertion failed: name != 0, file vtree");
  vtFreeNode(group);
}
#endif

} // namespace
