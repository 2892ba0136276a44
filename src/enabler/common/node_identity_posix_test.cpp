// node_identity_posix_test.cpp: the node identity from DMI directories that
// the tests make.
#include "node_identity.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>

namespace {

const char* const kFields[] = {"bios_vendor", "bios_version", "product_serial",
                               "product_name", "product_version"};

// Each field of the record, "absent" when null, for whole-record comparison.
struct Fields {
  std::string nodeId, manufacturer, version, product, type;
  bool operator==(const Fields& o) const {
    return nodeId == o.nodeId && manufacturer == o.manufacturer &&
           version == o.version && product == o.product && type == o.type;
  }
};

std::string show(const char* text) {
  return text ? "'" + std::string(text) + "'" : "absent";
}

Fields fieldsOf(const NodeIdentity& id) {
  return {show(id.nodeId), show(id.manufacturer), show(id.version),
          show(id.product), show(id.type)};
}

void PrintTo(const Fields& f, std::ostream* os) {
  *os << "nodeId=" << f.nodeId << " manufacturer=" << f.manufacturer
      << " version=" << f.version << " product=" << f.product
      << " type=" << f.type;
}

const std::map<std::string, std::string> kComplete = {
    {"bios_vendor", "Contoso Firmware Inc.\n"},
    {"bios_version", "CFW 2.14.1\n"},
    {"product_serial", "CZJ0714ABC\n"},
    {"product_name", "ProLine DL380 G5\n"},
    {"product_version", "Rev. B\n"}};

std::map<std::string, std::string> completeWith(const std::string& name,
                                                const char* content) {
  std::map<std::string, std::string> files = kComplete;
  if (content)
    files[name] = content;
  else
    files.erase(name);
  return files;
}

} // namespace

TEST(NodeIdentityDmiTest, FieldsFollowTheDmiFiles) {
  struct Case {
    const char* why;
    std::map<std::string, std::string> files;
    bool result;
    Fields expected;
  };
  const Fields all = {"'CZJ0714ABC'", "'Contoso Firmware Inc.'", "'CFW 2.14.1'",
                      "'ProLine DL380 G5'", "'Rev. B'"};
  const Case cases[] = {
      {"all five files", kComplete, true, all},
      {"blanks around a value stay",
       completeWith("product_serial", "  CZJ0714ABC   \n"),
       true,
       {"'  CZJ0714ABC   '", all.manufacturer, all.version, all.product,
        all.type}},
      {"no trailing line feed", completeWith("product_version", "Rev. B"), true,
       all},
      {"two trailing line feeds keep one",
       completeWith("bios_version", "CFW 2.14.1\n\n"),
       true,
       {all.nodeId, all.manufacturer, "'CFW 2.14.1\n'", all.product, all.type}},
      {"only the line feed is removed, a carriage return stays",
       completeWith("product_name", "ProLine\r\n"),
       true,
       {all.nodeId, all.manufacturer, all.version, "'ProLine\r'", all.type}},
      {"an empty file is an empty text",
       completeWith("product_serial", ""),
       true,
       {"''", all.manufacturer, all.version, all.product, all.type}},
      {"a lone line feed is an empty text",
       completeWith("product_serial", "\n"),
       true,
       {"''", all.manufacturer, all.version, all.product, all.type}},
      {"no serial file: true, serial absent",
       completeWith("product_serial", nullptr),
       true,
       {"absent", all.manufacturer, all.version, all.product, all.type}},
      {"no product version: true, type absent",
       completeWith("product_version", nullptr),
       true,
       {all.nodeId, all.manufacturer, all.version, all.product, "absent"}},
      {"no BIOS vendor: false, everything absent",
       completeWith("bios_vendor", nullptr),
       false,
       {"absent", "absent", "absent", "absent", "absent"}},
      {"no product name: false, the BIOS fields kept",
       completeWith("product_name", nullptr),
       false,
       {all.nodeId, all.manufacturer, all.version, "absent", "absent"}},
      {"an empty directory",
       {},
       false,
       {"absent", "absent", "absent", "absent", "absent"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    for (const auto& file : c.files)
      ASSERT_TRUE(writeTestFile(dir.path() + "/" + file.first, file.second));
    ScopedEnv root("KEP_DMI_ROOT", dir.path().c_str());
    NodeIdentity id;
    IdentityProblems problems;
    EXPECT_EQ(c.result, getNodeIdentity(&id, &problems));
    EXPECT_EQ(c.expected, fieldsOf(id));
    freeNodeIdentity(&id);
    // Every absent field is noted, with its file and why.
    const Fields& f = c.expected;
    bool anyAbsent = false;
    for (const std::string* field :
         {&f.nodeId, &f.manufacturer, &f.version, &f.product, &f.type})
      anyAbsent = anyAbsent || *field == "absent";
    EXPECT_EQ(anyAbsent, !problems.empty());
    for (const std::string& problem : problems)
      EXPECT_EQ(0u, problem.find(dir.path() + "/")) << problem;
  }
}

TEST(NodeIdentityDmiTest, UnreadableFileIsAnAbsentField) {
  // A directory under a field's name opens but cannot be read, like a file
  // the process may not read (product_serial is root-only on real machines;
  // the tests may run as root, where file modes do not stop a read).
  TempDir dir;
  for (const auto& file : kComplete)
    ASSERT_TRUE(writeTestFile(dir.path() + "/" + file.first, file.second));
  ASSERT_EQ(0, remove((dir.path() + "/product_serial").c_str()));
  ASSERT_EQ(0, mkdir((dir.path() + "/product_serial").c_str(), 0755));
  ScopedEnv root("KEP_DMI_ROOT", dir.path().c_str());
  NodeIdentity id;
  EXPECT_TRUE(getNodeIdentity(&id));
  EXPECT_EQ(nullptr, id.nodeId);
  EXPECT_STREQ("ProLine DL380 G5", id.product);
  freeNodeIdentity(&id);
}

TEST(NodeIdentityDmiTest, NamedPipeOrDeviceIsAnAbsentFieldAtOnce) {
  // A named pipe without a writer would block an ordinary open for ever; a
  // device never ends. Neither is a DMI attribute.
  TempDir dir;
  for (const auto& file : kComplete)
    ASSERT_TRUE(writeTestFile(dir.path() + "/" + file.first, file.second));
  ASSERT_EQ(0, remove((dir.path() + "/product_serial").c_str()));
  ASSERT_EQ(0, mkfifo((dir.path() + "/product_serial").c_str(), 0600));
  ASSERT_EQ(0, remove((dir.path() + "/bios_version").c_str()));
  ASSERT_EQ(0, symlink("/dev/zero", (dir.path() + "/bios_version").c_str()));
  ScopedEnv root("KEP_DMI_ROOT", dir.path().c_str());
  NodeIdentity id;
  EXPECT_TRUE(getNodeIdentity(&id));
  EXPECT_EQ(Fields({"absent", "'Contoso Firmware Inc.'", "absent",
                    "'ProLine DL380 G5'", "'Rev. B'"}),
            fieldsOf(id));
  freeNodeIdentity(&id);
}

TEST(NodeIdentityDmiTest, MissingDirectoryGivesFalse) {
  TempDir dir;
  ScopedEnv root("KEP_DMI_ROOT", (dir.path() + "/nothing-here").c_str());
  NodeIdentity id;
  id.nodeId = reinterpret_cast<char*>(1); // must be cleared, not freed
  EXPECT_FALSE(getNodeIdentity(&id));
  EXPECT_EQ(Fields({"absent", "absent", "absent", "absent", "absent"}),
            fieldsOf(id));
}

TEST(NodeIdentityDmiTest, FixtureDirectories) {
  struct Case {
    const char* dir;
    bool result;
    bool product;
  };
  const Case cases[] = {{"dmi/complete", true, true},
                        {"dmi/no_product", false, false},
                        {"dmi/no_bios", false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir);
    ScopedEnv root("KEP_DMI_ROOT", fixturePath(c.dir).c_str());
    NodeIdentity id;
    EXPECT_EQ(c.result, getNodeIdentity(&id));
    EXPECT_EQ(c.product, id.product != nullptr);
    freeNodeIdentity(&id);
  }
}
