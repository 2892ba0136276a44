#include "reg_file.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";
const char kKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\X";

// The string value `name` of `path`, or "<absent>".
std::string valueOf(const RegFile& reg, const char* path, const char* name) {
  const std::string* value = reg.value(path, name);
  return value ? *value : "<absent>";
}

std::string utf16le(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

} // namespace

TEST(RegFileTest, UnknownFirstLineGivesEmptyRegistry) {
  struct Case {
    std::string text;
    const char* why;
  };
  const std::string body = "[HKLM\\SOFTWARE\\X]\n\"A\"=\"1\"\n";
  const Case cases[] = {
      {"", "empty file"},
      {"REGEDIT5\n" + body, "unknown version line"},
      {body, "no version line at all"},
      {"windows registry editor version 5.00\n" + body,
       "version line in other letter case"},
      {"\n" + std::string(kHeader) + body, "blank line before the version"},
      {"\xEF\xBB\xBF\xEF\xBB\xBFREGEDIT4\n" + body, "two byte order marks"},
      {"\xFE\xFF" + body, "UTF-16BE byte order mark"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    RegFile reg = RegFile::parse(c.text);
    EXPECT_TRUE(reg.empty());
    EXPECT_EQ("<absent>", valueOf(reg, kKey, "A"));
  }
}

TEST(RegFileTest, AcceptedForms) {
  struct Case {
    std::string text;
    const char* why;
  };
  const std::string body = "[HKLM\\SOFTWARE\\X]\n\"A\"=\"1\"\n";
  const Case cases[] = {
      {"Windows Registry Editor Version 5.00\n\n" + body, "version 5 header"},
      {"REGEDIT4\n" + body, "version 4 header"},
      {"REGEDIT4  \t\n" + body, "blanks after the version line"},
      {"\xEF\xBB\xBFREGEDIT4\n" + body, "UTF-8 byte order mark"},
      {"REGEDIT4\r\n[HKLM\\SOFTWARE\\X]\r\n\"A\"=\"1\"\r\n", "CR LF lines"},
      {"REGEDIT4\n[HKLM\\SOFTWARE\\X]\n\"A\"=\"1\"", "no final line end"},
      {"REGEDIT4\n; comment\n\n   \n  ; indented comment\n" + body,
       "comments and blank lines"},
      {"REGEDIT4\n  [HKLM\\SOFTWARE\\X]  \n  \"A\" = \"1\"  \n",
       "blanks around lines and the equal sign"},
      {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n\"A\"=\"1\"\n",
       "long root name"},
      {"REGEDIT4\n[hklm\\software\\x]\n\"a\"=\"1\"\n",
       "names in other letter case"},
      {"REGEDIT4\n[HKLM\\SOFTWARE\\X]\n\"A\"=\"0\"\n[HKLM\\SOFTWARE\\Y]\n"
       "[HKLM\\SOFTWARE\\X]\n\"A\"=\"1\"\n",
       "a key named twice, the later value wins"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    RegFile reg = RegFile::parse(c.text);
    EXPECT_EQ("1", valueOf(reg, kKey, "A"));
    EXPECT_EQ("1", valueOf(reg, "hklm\\software\\x", "a"));
  }
}

TEST(RegFileTest, Utf16FileWithByteOrderMark) {
  RegFile reg = RegFile::parse(
      utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n"
              u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n"
              u"\"A\"=\"C:\\\\Programme\\\\\u00C4rger \U0001F600\"\r\n"));
  EXPECT_EQ("C:\\Programme\\\xC3\x84rger \xF0\x9F\x98\x80",
            valueOf(reg, kKey, "A"));
}

TEST(RegFileTest, BrokenUtf16GivesEmptyRegistry) {
  std::string valid =
      utf16le(u"REGEDIT4\r\n[HKLM\\SOFTWARE\\X]\r\n\"A\"=\"1\"");
  struct Case {
    std::string bytes;
    const char* why;
  };
  const Case cases[] = {
      {valid + "\x41", "odd byte count"},
      {valid.substr(0, valid.size() - 4) + std::string("\x00\xD8\"\x00", 4),
       "lone high surrogate"},
      {valid.substr(0, valid.size() - 4) + std::string("\x00\xDC\"\x00", 4),
       "lone low surrogate"},
      {utf16le(u"REGEDIT4\r\n[HKLM\\SOFTWARE\\X]\r\n\"A\"=\"1\"\r\n") +
           std::string("\x00\x00", 2),
       "NUL character"}};
  ASSERT_EQ("1", valueOf(RegFile::parse(valid), kKey, "A"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_TRUE(RegFile::parse(c.bytes).empty());
  }
}

TEST(RegFileTest, MalformedLineGivesEmptyRegistry) {
  struct Case {
    const char* lines;
    const char* why;
  };
  const Case cases[] = {
      {"[-HKLM\\SOFTWARE\\Y]\n[HKLM\\SOFTWARE\\X\n",
       "deletion, then a bad key"},
      {"[HKLM\\SOFTWARE\\X\n", "key without closing bracket"},
      {"[HKXX\\SOFTWARE\\X]\n", "unknown root"},
      {"[]\n", "empty key name"},
      {"[HKLM\\\\SOFTWARE]\n", "empty key component"},
      {"[HKLM\\SOFTWARE\\]\n", "trailing separator"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"=\"1\n", "unterminated text"},
      {"[HKLM\\SOFTWARE\\X]\n\"A=\"1\"\n", "unterminated name"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"=\"C:\\dir\"\n", "unknown escape"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"=\"1\\\"\n", "escape swallows the quote"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"=\"1\" x\n", "text after the value"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"\"1\"\n", "no equal sign"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"=1\n", "unquoted data"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"=dword:xyz\n", "bad dword"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"=dword:123456789\n", "dword too long"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"=hex:0g\n", "bad hex byte"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"=hex:123\n", "hex item too long"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"=hex:01,,02\n", "empty hex item"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"=hex(x):01\n", "bad hex type"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"=hex:01,\\", "continuation at the end"},
      {"[HKLM\\SOFTWARE\\X]\nA=\"1\"\n", "unquoted name"},
      {"[HKLM\\SOFTWARE\\X]\n\"A\"=\"1\"\ngarbage\n", "stray line"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    std::string text =
        std::string("REGEDIT4\n[HKLM\\SOFTWARE\\Y]\n\"B\"=\"2\"\n") + c.lines;
    RegFile reg = RegFile::parse(text);
    EXPECT_TRUE(reg.empty());
    EXPECT_EQ("<absent>", valueOf(reg, "HKLM\\SOFTWARE\\Y", "B"));
  }
}

TEST(RegFileTest, ValueBeforeAnyKeyGivesEmptyRegistry) {
  EXPECT_TRUE(
      RegFile::parse("REGEDIT4\n\"A\"=\"1\"\n[HKLM\\SOFTWARE\\X]\n").empty());
}

TEST(RegFileTest, EscapesAndDefaultValue) {
  RegFile reg = RegFile::parse(
      std::string(kHeader) + "[HKLM\\SOFTWARE\\X]\n"
                             "\"Path\"=\"C:\\\\Program Files\\\\VMware\\\\\"\n"
                             "\"Quote\"=\"say \\\"hi\\\"\"\n"
                             "\"Empty\"=\"\"\n"
                             "\"Odd \\\"name\\\\\"=\"v\"\n"
                             "@=\"default\"\n");
  EXPECT_EQ("C:\\Program Files\\VMware\\", valueOf(reg, kKey, "Path"));
  EXPECT_EQ("say \"hi\"", valueOf(reg, kKey, "Quote"));
  EXPECT_EQ("", valueOf(reg, kKey, "Empty"));
  EXPECT_EQ("v", valueOf(reg, kKey, "Odd \"name\\"));
  EXPECT_EQ("default", valueOf(reg, kKey, ""));
}

TEST(RegFileTest, OtherValueTypesAreReadAndAbsent) {
  RegFile reg =
      RegFile::parse(std::string(kHeader) + "[HKLM\\SOFTWARE\\X]\n"
                                            "\"Before\"=\"1\"\n"
                                            "\"Count\"=dword:0000001f\n"
                                            "\"Bytes\"=hex:01,02,ff,\\\n"
                                            "  0a,0b,\\\n"
                                            "  0c\n"
                                            "\"Multi\"=hex(7):41,00,00,00\n"
                                            "\"NoBytes\"=hex:\n"
                                            "\"Replaced\"=\"text\"\n"
                                            "\"Replaced\"=dword:00000001\n"
                                            "\"Deleted\"=\"text\"\n"
                                            "\"Deleted\"=-\n"
                                            "\"After\"=\"2\"\n");
  ASSERT_FALSE(reg.empty());
  EXPECT_EQ("1", valueOf(reg, kKey, "Before"));
  EXPECT_EQ("2", valueOf(reg, kKey, "After"));
  for (const char* name :
       {"Count", "Bytes", "Multi", "NoBytes", "Replaced", "Deleted"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ("<absent>", valueOf(reg, kKey, name));
  }
}

TEST(RegFileTest, KeysExistWithTheirAncestors) {
  RegFile reg = RegFile::parse(std::string(kHeader) +
                               "[HKLM\\SOFTWARE\\VMware, Inc.\\VMware Server]\n"
                               "[HKEY_CURRENT_USER\\Software\\Y]\n");
  EXPECT_TRUE(reg.hasKey("HKLM\\SOFTWARE\\VMware, Inc.\\VMware Server"));
  EXPECT_TRUE(reg.hasKey("HKEY_LOCAL_MACHINE\\software\\vmware, inc."));
  EXPECT_TRUE(reg.hasKey("HKLM\\SOFTWARE"));
  EXPECT_TRUE(reg.hasKey("HKCU\\Software\\Y"));
  EXPECT_FALSE(reg.hasKey("HKLM\\SOFTWARE\\VMware"));
  EXPECT_FALSE(reg.hasKey("HKLM\\SOFTWARE\\VMware, Inc.\\VMware Server\\Z"));
  EXPECT_FALSE(reg.hasKey("HKLM\\Software\\Y"));
}

TEST(RegFileTest, DeletedKeyTakesItsSubkeysAndLaterValues) {
  RegFile reg = RegFile::parse(std::string(kHeader) +
                               "[HKLM\\SOFTWARE\\X]\n\"A\"=\"1\"\n"
                               "[HKLM\\SOFTWARE\\X\\Sub]\n\"B\"=\"2\"\n"
                               "[HKLM\\SOFTWARE\\Xylophone]\n\"C\"=\"3\"\n"
                               "[-HKLM\\SOFTWARE\\X]\n\"D\"=\"4\"\n");
  ASSERT_FALSE(reg.empty());
  EXPECT_FALSE(reg.hasKey(kKey));
  EXPECT_FALSE(reg.hasKey("HKLM\\SOFTWARE\\X\\Sub"));
  EXPECT_EQ("3", valueOf(reg, "HKLM\\SOFTWARE\\Xylophone", "C"));
}

TEST(RegFileTest, Wow64ViewReadsWow6432Node) {
  FileRegistry registry(RegFile::parse(
      std::string(kHeader) +
      "[HKLM\\SOFTWARE\\Wow6432Node\\VMware, Inc.\\VMware Server]\n"
      "\"InstallPath\"=\"32\"\n"
      "[HKLM\\SOFTWARE\\VMware, Inc.\\VMware Server]\n"
      "\"InstallPath\"=\"64\"\n"
      "[HKLM\\SYSTEM\\Shared]\n\"InstallPath\"=\"shared\"\n"));
  struct Case {
    const char* subKey;
    uint32_t access;
    const char* expected;
  };
  const Case cases[] = {
      {"SOFTWARE\\VMware, Inc.\\VMware Server", kKeyQueryValue, "64"},
      {"SOFTWARE\\VMware, Inc.\\VMware Server",
       kKeyQueryValue | kKeyWow64_64Key, "64"},
      {"SOFTWARE\\VMware, Inc.\\VMware Server",
       kKeyQueryValue | kKeyWow64_32Key, "32"},
      {"software\\VMware, Inc.\\VMware Server",
       kKeyQueryValue | kKeyWow64_32Key, "32"},
      {"SOFTWARE\\Wow6432Node\\VMware, Inc.\\VMware Server",
       kKeyQueryValue | kKeyWow64_32Key, "32"},
      {"SYSTEM\\Shared", kKeyQueryValue | kKeyWow64_32Key, "shared"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.subKey) + " access " + std::to_string(c.access));
    RegistryKey key = nullptr;
    ASSERT_EQ(kRegistrySuccess,
              registry.openKey(localMachineKey(), c.subKey, c.access, &key));
    unsigned char data[64];
    uint32_t size = sizeof data;
    ASSERT_EQ(kRegistrySuccess,
              registry.queryValue(key, "InstallPath", data, &size));
    EXPECT_EQ(std::string(c.expected) + '\0',
              std::string(reinterpret_cast<char*>(data), size));
    EXPECT_EQ(kRegistrySuccess, registry.closeKey(key));
  }
  RegistryKey key = nullptr;
  EXPECT_EQ(kRegistryFileNotFound,
            registry.openKey(localMachineKey(), "SOFTWARE\\Softwarex",
                             kKeyQueryValue | kKeyWow64_32Key, &key));
}

TEST(RegFileTest, QueryValueAnswersLikeTheRegistry) {
  FileRegistry registry(RegFile::parse(std::string(kHeader) +
                                       "[HKLM\\SOFTWARE\\X]\n"
                                       "\"Four\"=\"abcd\"\n"));
  RegistryKey key = nullptr;
  EXPECT_EQ(
      kRegistryFileNotFound,
      registry.openKey(localMachineKey(), "SOFTWARE\\Y", kKeyQueryValue, &key));
  EXPECT_EQ(kRegistryFileNotFound,
            registry.openKey(nullptr, "SOFTWARE\\X", kKeyQueryValue, &key));
  ASSERT_EQ(kRegistrySuccess, registry.openKey(localMachineKey(), "SOFTWARE\\X",
                                               kKeyQueryValue, &key));
  unsigned char data[8] = {};
  uint32_t size = 4;
  EXPECT_EQ(kRegistryMoreData, registry.queryValue(key, "Four", data, &size));
  EXPECT_EQ(5u, size);
  size = 5;
  EXPECT_EQ(kRegistrySuccess, registry.queryValue(key, "four", data, &size));
  EXPECT_EQ(std::string("abcd", 5),
            std::string(reinterpret_cast<char*>(data), 5));
  size = sizeof data;
  EXPECT_EQ(kRegistryFileNotFound,
            registry.queryValue(key, "Five", data, &size));
  registry.closeKey(key);
}
