#include "registry.h"

#include "reg_file.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

const char kServerKey[] = "SOFTWARE\\VMware, Inc.\\VMware Server";
const char kGsxKey[] = "SOFTWARE\\VMware, Inc.\\VMware GSX Server";
const char kVmPerlKey[] = "SOFTWARE\\VMware, Inc.\\VMware VmPerl Scripting API";

// A registry of keys with raw value bytes, which records every call.
class RecordingRegistry : public Registry {
public:
  struct Open {
    std::string subKey;
    uint32_t access;
    long status;
  };

  // `view` "32" puts the key into the 32-bit view, "64" into the 64-bit one.
  void add(const std::string& view, const std::string& subKey,
           const std::string& name, const std::string& bytes) {
    keys_[view + subKey][name] = bytes;
  }
  void addKey(const std::string& view, const std::string& subKey) {
    keys_[view + subKey];
  }

  long openKey(RegistryKey root, const char* subKey, uint32_t access,
               RegistryKey* key) override {
    EXPECT_EQ(localMachineKey(), root);
    std::string view = (access & kKeyWow64_32Key) ? "32" : "64";
    auto found = keys_.find(view + subKey);
    long status =
        found == keys_.end() ? kRegistryFileNotFound : kRegistrySuccess;
    opens.push_back({subKey, access, status});
    if (status == kRegistrySuccess) {
      *key = &found->second;
      ++openKeys;
    }
    return status;
  }

  long queryValue(RegistryKey key, const char* name, unsigned char* data,
                  uint32_t* size) override {
    EXPECT_EQ(kInstallPathBytes, *size) << "the whole buffer is offered";
    auto& values = *static_cast<std::map<std::string, std::string>*>(key);
    auto found = values.find(name);
    if (found == values.end())
      return kRegistryFileNotFound;
    const std::string& bytes = found->second;
    if (bytes.size() > *size) {
      *size = static_cast<uint32_t>(bytes.size());
      return kRegistryMoreData;
    }
    memcpy(data, bytes.data(), bytes.size());
    *size = static_cast<uint32_t>(bytes.size());
    return kRegistrySuccess;
  }

  long closeKey(RegistryKey) override {
    --openKeys;
    return kRegistrySuccess;
  }

  std::vector<Open> opens;
  int openKeys = 0;

private:
  std::map<std::string, std::map<std::string, std::string>> keys_;
};

std::string text(const char* value) {
  return std::string(value) + '\0';
}

class RegistryTest : public ::testing::Test {
protected:
  void SetUp() override { use(registry, false); }
  void TearDown() override {
    EXPECT_EQ(0, registry.openKeys) << "every opened key is closed";
  }

  /// Fresh lookups over `target`, in a process that is a WOW64 one or not.
  void use(Registry& target, bool wow64) {
    wow64Questions = 0;
    lookup = std::make_unique<InstallationRegistry>(target, [this, wow64] {
      ++wow64Questions;
      return wow64;
    });
  }

  // The server path, or "<none>"; "<untouched>" when the lookup left the
  // place as it was.
  std::string serverPath() {
    char sentinel = 0;
    char* path = &sentinel;
    bool found = lookup->getServerInstallPath(&path);
    if (path == &sentinel)
      return found ? "<found but untouched>" : "<untouched>";
    std::string result = found ? path : "<false with a path>";
    free(path);
    return result;
  }

  std::string vmperlPath() {
    char sentinel = 0;
    char* path = &sentinel;
    bool found = lookup->getVmPerlInstallPath(&path);
    if (!found)
      return path == nullptr ? "<none>" : "<false, not null>";
    std::string result = path;
    free(path);
    return result;
  }

  RecordingRegistry registry;
  std::unique_ptr<InstallationRegistry> lookup;
  int wow64Questions = 0;
};

} // namespace

TEST_F(RegistryTest, NotWow64OpensEachKeyOnceAsAsked) {
  registry.add("64", kVmPerlKey, "InstallPath", text("C:\\VmPerl\\"));
  registry.add("32", kServerKey, "InstallPath", text("C:\\32-bit view\\"));
  EXPECT_EQ("C:\\VmPerl\\", vmperlPath());
  EXPECT_EQ("<untouched>", serverPath());
  ASSERT_EQ(3u, registry.opens.size());
  for (const auto& open : registry.opens)
    EXPECT_EQ(kKeyQueryValue, open.access) << open.subKey;
  EXPECT_EQ(kVmPerlKey, registry.opens[0].subKey);
  EXPECT_EQ(kServerKey, registry.opens[1].subKey);
  EXPECT_EQ(kGsxKey, registry.opens[2].subKey);
}

TEST_F(RegistryTest, Wow64Tries32BitViewFirstThen64BitView) {
  use(registry, true);
  registry.add("32", kServerKey, "InstallPath", text("C:\\Server32\\"));
  registry.add("64", kServerKey, "InstallPath", text("C:\\Server64\\"));
  registry.add("64", kVmPerlKey, "InstallPath", text("C:\\VmPerl64\\"));

  EXPECT_EQ("C:\\Server32\\", serverPath());
  ASSERT_EQ(1u, registry.opens.size());
  EXPECT_EQ(kKeyQueryValue | kKeyWow64_32Key, registry.opens[0].access);

  registry.opens.clear();
  EXPECT_EQ("C:\\VmPerl64\\", vmperlPath());
  ASSERT_EQ(2u, registry.opens.size());
  EXPECT_EQ(kKeyQueryValue | kKeyWow64_32Key, registry.opens[0].access);
  EXPECT_EQ(kKeyQueryValue | kKeyWow64_64Key, registry.opens[1].access)
      << "the second attempt drops the 32-bit flag";
}

TEST_F(RegistryTest, OpenGivesTheLastAttemptsCode) {
  use(registry, true);
  RegistryKey key = nullptr;
  EXPECT_EQ(kRegistryFileNotFound,
            lookup->openRegistryKey(localMachineKey(), kServerKey,
                                    kKeyQueryValue, &key));
  EXPECT_EQ(2u, registry.opens.size());

  registry.addKey("64", kServerKey);
  EXPECT_EQ(kRegistrySuccess,
            lookup->openRegistryKey(localMachineKey(), kServerKey,
                                    kKeyQueryValue, &key));
  registry.closeKey(key);
}

TEST_F(RegistryTest, FailuresNameEachKeyValueAndView) {
  use(registry, true);
  registry.addKey("64", kServerKey); // no InstallPath
  EXPECT_EQ("<untouched>", serverPath());
  const std::string hklm = "HKEY_LOCAL_MACHINE\\";
  const std::vector<std::string> expected = {
      hklm + kServerKey + " in the 32-bit view: no such key (error 2)",
      hklm + kServerKey +
          "\\InstallPath in the 64-bit view: no such value (error 2)",
      hklm + kGsxKey + " in the 32-bit view: no such key (error 2)",
      hklm + kGsxKey + " in the 64-bit view: no such key (error 2)"};
  EXPECT_EQ(expected, lookup->takeFailures());
  EXPECT_TRUE(lookup->takeFailures().empty()) << "taken once";
}

TEST_F(RegistryTest, Wow64AnswerIsAskedOnceAndKept) {
  use(registry, true);
  EXPECT_EQ(Wow64Answer::Unknown, lookup->wow64Answer());
  EXPECT_EQ("<untouched>", serverPath());
  EXPECT_EQ("<none>", vmperlPath());
  EXPECT_EQ(1, wow64Questions);
  EXPECT_EQ(Wow64Answer::Yes, lookup->wow64Answer());
}

TEST_F(RegistryTest, ServerComesBeforeGsxServer) {
  struct Case {
    bool server;            // the VMware Server key exists
    const char* serverPath; // its InstallPath, null for none
    const char* gsxPath;    // the GSX Server key's InstallPath, null: no key
    const char* expected;
  };
  const Case cases[] = {{true, "C:\\Server\\", "C:\\GSX\\", "C:\\Server\\"},
                        {true, nullptr, "C:\\GSX\\", "C:\\GSX\\"},
                        {false, nullptr, "C:\\GSX\\", "C:\\GSX\\"},
                        {true, "C:\\Server\\", nullptr, "C:\\Server\\"},
                        {true, nullptr, nullptr, "<untouched>"},
                        {false, nullptr, nullptr, "<untouched>"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    RecordingRegistry fresh;
    use(fresh, false);
    if (c.server)
      fresh.addKey("64", kServerKey);
    if (c.serverPath)
      fresh.add("64", kServerKey, "InstallPath", text(c.serverPath));
    if (c.gsxPath)
      fresh.add("64", kGsxKey, "InstallPath", text(c.gsxPath));
    EXPECT_EQ(c.expected, serverPath());
    EXPECT_EQ(0, fresh.openKeys);
  }
}

TEST_F(RegistryTest, ValueMustFitTheBufferWithItsTerminator) {
  struct Case {
    std::string bytes;
    const char* why;
    bool present;
  };
  const std::string c1023(1023, 'a');
  const Case cases[] = {
      {c1023 + '\0', "1023 characters and the zero: 1024 bytes", true},
      {c1023 + "b" + '\0', "1024 characters and the zero: 1025 bytes", false},
      {c1023 + "b", "1024 bytes without a terminating zero", false},
      {c1023 + "bc", "1025 bytes without a terminating zero", false},
      {"C:\\short", "short value without a terminating zero", true},
      {std::string("C:\\x\0junk", 9), "text ends at its first zero", true},
      {std::string(), "zero bytes", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    RecordingRegistry fresh;
    use(fresh, false);
    fresh.add("64", kVmPerlKey, "InstallPath", c.bytes);
    std::string expected = c.present ? std::string(c.bytes.c_str()) : "<none>";
    EXPECT_EQ(expected, vmperlPath());
    EXPECT_EQ(0, fresh.openKeys);
    std::vector<std::string> failures = lookup->takeFailures();
    EXPECT_EQ(c.present ? 0u : 1u, failures.size());
    if (!c.present) {
      EXPECT_NE(std::string::npos,
                failures[0].find("InstallPath: longer than a path of 1023"));
    }
  }
}

TEST_F(RegistryTest, FixturesThroughTheExportFileRegistry) {
  struct Case {
    const char* file;
    Wow64Answer wow64;
    const char* server;
    const char* vmperl;
  };
  const Case cases[] = {
      {"reg/vmware_wow64.reg", Wow64Answer::Yes,
       "C:\\Program Files (x86)\\VMware\\VMware Server\\",
       "C:\\Program Files (x86)\\VMware\\VMware VmPerl Scripting API\\"},
      {"reg/vmware_wow64.reg", Wow64Answer::No, "<untouched>", "<none>"},
      {"reg/vmware_server_and_gsx.reg", Wow64Answer::Yes,
       "C:\\Program Files\\VMware\\VMware Server\\",
       "C:\\Program Files\\VMware\\VMware VmPerl Scripting API\\"},
      {"reg/vmware_server_and_gsx.reg", Wow64Answer::No,
       "C:\\Program Files\\VMware\\VMware Server\\",
       "C:\\Program Files\\VMware\\VMware VmPerl Scripting API\\"},
      {"reg/gsx_server_without_path.reg", Wow64Answer::No, "D:\\GSX\\",
       "<none>"},
      {"reg/vmperl_only.reg", Wow64Answer::Yes, "<untouched>", "C:\\VmPerl\\"},
      {"reg/malformed_unterminated.reg", Wow64Answer::No, "<untouched>",
       "<none>"},
      {"reg/no_such_file.reg", Wow64Answer::No, "<untouched>", "<none>"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) +
                 (c.wow64 == Wow64Answer::Yes ? " as WOW64" : " native view"));
    FileRegistry file(RegFile::load(fixturePath(c.file)));
    use(file, c.wow64 == Wow64Answer::Yes);
    EXPECT_EQ(c.server, serverPath());
    EXPECT_EQ(c.vmperl, vmperlPath());
  }
}
