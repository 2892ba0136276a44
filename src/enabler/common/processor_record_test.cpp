// processor_record_test.cpp: the physical-processor record built from reports
// of a stand-in cpuid program placed beside a chosen own path, with the exact
// log each run writes.
#include "processor_record.h"

#include "common/platform/environment.h"
#include "common/platform/paths.h"
#include "common/process/child_process.h"
#include "common/vartree/vtree.h"
#include "enabler/common/frame.h"
#include "enabler/common/run_log_test.h"
#include "test_util.h"
#include "worked_cpuid_report.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

unsigned long failingOwnPath(char*, unsigned long) {
  return 0;
}

// The worked example with `from` replaced by `to` (once).
std::string example(const std::string& from, const std::string& to) {
  std::string text = kWorkedCpuidReport;
  size_t at = text.find(from);
  EXPECT_NE(std::string::npos, at) << from;
  if (at != std::string::npos)
    text.replace(at, from.size(), to);
  return text;
}

// The seven debug lines of the values read.
std::string valueLines(int packages, int cores, int logical,
                       const std::string& man, const std::string& family,
                       const std::string& type, int bits) {
  char text[4096];
  snprintf(text, sizeof text,
           "DBG: cpuid numPackages         = %d\n"
           "DBG: cpuid corePerPackageCount = %d\n"
           "DBG: cpuid logicalProcPerCore  = %d\n"
           "DBG: cpuid manufacturer = '%s'\n"
           "DBG: cpuid family       = '%s'\n"
           "DBG: cpuid type         = '%s'\n"
           "DBG: cpuid bits         = %d\n",
           packages, cores, logical, man.c_str(), family.c_str(), type.c_str(),
           bits);
  return text;
}

std::string finished(int result) {
  return "getInfoFromCPUID() finished with result=" + std::to_string(result) +
         "\n";
}

class ProcessorRecordTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = std::make_unique<TempDir>();
    std::string sep(1, pathSeparator());
    ownPath = dir_->path() + sep + "enabler.exe";
    cpuidPath_ = dir_->path() + sep + programFileName("cpuid");
    forcedLength = 0;
    fs::copy_file(testProgramPath("fake_cpuid"), cpuidPath_);
    logPath_ = dir_->path() + sep + "en_out.txt";
    startLog(EnablerProgram::VirtualServer);
    setEnv("FAKE_CPUID_MODE", nullptr);
    setEnv("FAKE_CPUID_DOCUMENT", nullptr);
    setEnv("KEP_HOMEDIR", nullptr);
  }

  void TearDown() override {
    log_.reset();
    env_.clear();
    dir_.reset();
  }

  // The two forms of the builder, with the cpuid program beside `query_`'s
  // path.
  int build(char** record, int* packages) {
    return getInfoFromCPUID(record, packages,
                            CpuidProgramSite{query_, &error_});
  }
  int buildVMware() {
    return getInfoFromCPUID(CpuidProgramSite{query_, &error_});
  }

  void setEnv(const char* name, const char* value) {
    env_.push_back(std::make_unique<ScopedEnv>(name, value));
  }

  // The report the stand-in writes.
  void report(const std::string& text) {
    std::string path = dir_->path() + pathSeparator() + "report.txt";
    ASSERT_TRUE(writeTestFile(path, text));
    setEnv("FAKE_CPUID_DOCUMENT", path.c_str());
  }

  // An empty log for a run of `program`'s form.
  void startLog(EnablerProgram program) {
    log_.reset();
    log_.emplace(logPath_, program);
    ASSERT_NE(nullptr, logFile);
  }

  std::string log() { return log_->text(); }

  // The log's first three lines for a run with the chosen own path.
  std::string header() const {
    return "getInfoFromCPUID() started.\n"
           "DBG: path to enabler executable: '" +
           ownPath +
           "'\n"
           "DBG: path to cpuid executable: '" +
           cpuidPath_ + "'\n";
  }

  std::unique_ptr<TempDir> dir_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  // The own path the builder is told; a length of 0 or at least 1024 can be
  // forced.
  std::string ownPath;
  unsigned long forcedLength = 0;
  OwnPathQuery query_ = [this](char* buffer, unsigned long size) {
    return forcedLength ? forcedLength
                        : ownPathAnswering(ownPath)(buffer, size);
  };
  SystemError error_;
  std::string cpuidPath_;
  std::string logPath_;
  std::optional<ScopedRunLog> log_;
};

TEST_F(ProcessorRecordTest, VirtualServerRecordFromTheReport) {
  struct Case {
    const char* why;
    std::string report;
    const char* record; ///< null: none handed on
    std::string values; ///< the seven debug lines
    std::string warning;
  };
  const std::string intel = "GenuineIntel";
  const Case cases[] = {
      {"the worked example", kWorkedCpuidReport,
       "2:GenuineIntel:6:0:4:2:2400:64",
       valueLines(2, 4, 2, intel, "6", "0", 64), ""},
      {"no Features: 64 bits", example("(Features\nLM:i=1\n)\n", ""),
       "2:GenuineIntel:6:0:4:2:2400:64",
       valueLines(2, 4, 2, intel, "6", "0", 64), ""},
      {"LM 0 decides over IEM64T 1",
       example("LM:i=1\n", "IEM64T:i=1\nLM:i=0\n"),
       "2:GenuineIntel:6:0:4:2:2400:32",
       valueLines(2, 4, 2, intel, "6", "0", 32), ""},
      {"IEM64T 0 alone: 32 bits", example("LM:i=1\n", "IEM64T:i=0\n"),
       "2:GenuineIntel:6:0:4:2:2400:32",
       valueLines(2, 4, 2, intel, "6", "0", 32), ""},
      {"ActiveCoreCount 0: logical per core is ActiveProcCount",
       example("ActiveCoreCount:i=4", "ActiveCoreCount:i=0"),
       "2:GenuineIntel:6:0:0:8:2400:64",
       valueLines(2, 0, 8, intel, "6", "0", 64), ""},
      {"ActiveCoreCount missing", example("ActiveCoreCount:i=4\n", ""),
       "2:GenuineIntel:6:0:0:8:2400:64",
       valueLines(2, 0, 8, intel, "6", "0", 64), ""},
      {"the division truncates",
       example("ActiveProcCount:i=8", "ActiveProcCount:i=7"),
       "2:GenuineIntel:6:0:4:1:2400:64",
       valueLines(2, 4, 1, intel, "6", "0", 64), ""},
      {"Manufacturer as an integer",
       example("Manufacturer:s=GenuineIntel", "Manufacturer:i=7"),
       "2:Unknown:6:0:4:2:2400:64",
       valueLines(2, 4, 2, "Unknown", "6", "0", 64), ""},
      {"no Processor group", "1.0 0 x\n(cpuid\nActivePackageCount:i=1\n)\n",
       "1:Unknown:Unknown:Unknown:0:0:0:64",
       valueLines(1, 0, 0, "Unknown", "Unknown", "Unknown", 64), ""},
      {"blanks in strings stay", example("Type:s=0", "Type:s= 0 "),
       "2:GenuineIntel:6: 0 :4:2:2400:64",
       valueLines(2, 4, 2, intel, "6", " 0 ", 64), ""},
      {"a status code is reported and the values used",
       example("1.0 0 cpuid report", "1.0 3 partial"),
       "2:GenuineIntel:6:0:4:2:2400:64",
       valueLines(2, 4, 2, intel, "6", "0", 64),
       "Warning! cpuid returned error = 3\n"},
      {"ActivePackageCount 0: no record",
       example("ActivePackageCount:i=2", "ActivePackageCount:i=0"), nullptr,
       valueLines(0, 4, 2, intel, "6", "0", 64), ""},
      {"ActivePackageCount negative: no record",
       example("ActivePackageCount:i=2", "ActivePackageCount:i=-2"), nullptr,
       valueLines(-2, 4, 2, intel, "6", "0", 64), ""},
      {"CR LF line ends",
       [] {
         std::string text;
         for (char c : std::string(kWorkedCpuidReport))
           text += c == '\n' ? std::string("\r\n") : std::string(1, c);
         return text;
       }(),
       "2:GenuineIntel:6:0:4:2:2400:64",
       valueLines(2, 4, 2, intel, "6", "0", 64), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    report(c.report);
    startLog(EnablerProgram::VirtualServer);
    static char sentinel[] = "untouched";
    char* record = sentinel;
    char* const untouched = sentinel;
    int packages = -77;
    int result = build(&record, &packages);
    std::string expected = header() + c.warning + c.values;
    if (c.record) {
      EXPECT_EQ(1, result);
      ASSERT_NE(untouched, record);
      EXPECT_STREQ(c.record, record);
      EXPECT_EQ(c.record[0] - '0', packages);
      free(record);
      expected += "DBG: PHYSICAL_PROCESSOR = '" + std::string(c.record) + "'\n";
    } else {
      EXPECT_EQ(0, result);
      EXPECT_EQ(untouched, record);
      EXPECT_EQ(-77, packages);
    }
    expected += finished(c.record ? 1 : 0);
    EXPECT_EQ(expected, log());
  }
}

TEST_F(ProcessorRecordTest, LongStringsAreCutInTheRecordOnly) {
  std::string man(300, 'M'), family(256, 'F'), type(255, 'T');
  std::string text =
      example("Manufacturer:s=GenuineIntel", "Manufacturer:s=" + man);
  text.replace(text.find("Family:s=6"), 10, "Family:s=" + family);
  text.replace(text.find("Type:s=0"), 8, "Type:s=" + type);
  report(text);
  char* record = nullptr;
  int packages = 0;
  ASSERT_EQ(1, build(&record, &packages));
  std::string expected = "2:" + std::string(255, 'M') + ":" +
                         std::string(255, 'F') + ":" + type + ":4:2:2400:64";
  EXPECT_EQ(expected, record);
  free(record);
  EXPECT_EQ(header() + valueLines(2, 4, 2, man, family, type, 64) +
                "DBG: PHYSICAL_PROCESSOR = '" + expected + "'\n" + finished(1),
            log());
}

TEST_F(ProcessorRecordTest, VMwareRecordGoesIntoTheEnvironment) {
  struct Case {
    const char* why;
    std::string report;
    const char* record;
    std::string values;
  };
  const std::string intel = "GenuineIntel";
  const Case cases[] = {
      {"counts from the CPUID group", kWorkedCpuidReport,
       "2:GenuineIntel:6:0:6:1:2400:64",
       valueLines(2, 6, 1, intel, "6", "0", 64)},
      {"no Features: 32 bits", example("(Features\nLM:i=1\n)\n", ""),
       "2:GenuineIntel:6:0:6:1:2400:32",
       valueLines(2, 6, 1, intel, "6", "0", 32)},
      {"IEM64T alone decides", example("LM:i=1\n", "IEM64T:i=1\n"),
       "2:GenuineIntel:6:0:6:1:2400:64",
       valueLines(2, 6, 1, intel, "6", "0", 64)},
      {"no CPUID group: zeros, whatever the active counts",
       example("(CPUID\nCorePerPackageCount:i=6\nHtPerCoreCount:i=1\n)\n", ""),
       "2:GenuineIntel:6:0:0:0:2400:64",
       valueLines(2, 0, 0, intel, "6", "0", 64)},
      {"ActivePackageCount 0: no record, and none from before",
       example("ActivePackageCount:i=2", "ActivePackageCount:i=0"), nullptr,
       valueLines(0, 6, 1, intel, "6", "0", 64)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ScopedEnv before("PHYSICAL_PROCESSOR", "before");
    report(c.report);
    startLog(EnablerProgram::VMware);
    int result = buildVMware();
    std::string value =
        getEnvironment("PHYSICAL_PROCESSOR").value_or("<unset>");
    std::string expected = header() + c.values;
    if (c.record) {
      EXPECT_EQ(1, result);
      EXPECT_EQ(c.record, value);
      expected += "DBG: PHYSICAL_PROCESSOR = '" + std::string(c.record) + "'\n";
    } else {
      EXPECT_EQ(0, result);
      EXPECT_EQ("<unset>", value);
    }
    expected += finished(c.record ? 1 : 0);
    EXPECT_EQ(expected, log());
  }
}

TEST_F(ProcessorRecordTest, ProgramThatCannotRunGivesTheWarning) {
  fs::remove(cpuidPath_);
  char* record = nullptr;
  int packages = 0;
  EXPECT_EQ(0, build(&record, &packages));
  EXPECT_EQ(nullptr, record);
  EXPECT_EQ(header() + "Warning! vtExecCommand failed.\n" + finished(0), log());
  EXPECT_NE(std::string::npos, error_.message().find(cpuidPath_))
      << "the reason names the program: " << error_.message();

  // The caller's value is another host's record, or an old one.
  ScopedEnv stale("PHYSICAL_PROCESSOR", "9:StaleHost:1:1:1:1:1:32");
  EXPECT_EQ(0, buildVMware());
  EXPECT_FALSE(getEnvironment("PHYSICAL_PROCESSOR"));
}

TEST_F(ProcessorRecordTest, MisbehavingProgramCannotHangOrBreakTheBuilder) {
  struct Case {
    const char* mode;
    bool document; ///< whether the report still arrives
  };
  const Case cases[] = {
      {"document", false}, // writes nothing: no document file given
      {"exit", false},     {"flood", false}, {"stderr", true}, {"stdin", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    ScopedEnv mode("FAKE_CPUID_MODE", c.mode);
    std::unique_ptr<ScopedEnv> document;
    if (c.document) {
      report(kWorkedCpuidReport);
    } else {
      document = std::make_unique<ScopedEnv>("FAKE_CPUID_DOCUMENT", nullptr);
    }
    startLog(EnablerProgram::VirtualServer);
    char* record = nullptr;
    int packages = 0;
    auto start = std::chrono::steady_clock::now();
    int result = build(&record, &packages);
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::steady_clock::now() - start)
                       .count();
    // The stand-in ends itself after 20 s; a builder that waited for it
    // shows here.
    EXPECT_LT(seconds, 10);
    if (c.document) {
      EXPECT_EQ(1, result);
      EXPECT_STREQ("2:GenuineIntel:6:0:4:2:2400:64", record);
      free(record);
    } else {
      EXPECT_EQ(0, result);
      EXPECT_EQ(header() + "Warning! cpuid returned error = -1\n" +
                    valueLines(0, 0, 0, "Unknown", "Unknown", "Unknown", 64) +
                    finished(0),
                log());
    }
  }
}

TEST_F(ProcessorRecordTest, OwnPathProblemsFallBackToTheBareName) {
  struct Case {
    const char* why;
    unsigned long forced;   ///< forced query result, 0 for none
    std::string path;       ///< the own path otherwise
    std::string firstLines; ///< the log's lines up to the cpuid path
    bool bare = true;       ///< the bare name is what would run
  };
  std::string bare = programFileName("cpuid");
  std::string sep(1, pathSeparator());
  std::string longDir = sep + std::string(1023 - 2 - 7, 'd');
  const Case cases[] = {
      {"a path of 1024 characters", 1024, "",
       "getInfoFromCPUID() started.\n"
       "Warning! Failed to get path to enabler executable.\n"
       "DBG: path to cpuid executable: '" +
           bare + "'\n"},
      {"a path longer than the buffer", 5000, "",
       "getInfoFromCPUID() started.\n"
       "Warning! Failed to get path to enabler executable.\n"
       "DBG: path to cpuid executable: '" +
           bare + "'\n"},
      {"a path without separator", 0, "enabler.exe",
       "getInfoFromCPUID() started.\n"
       "DBG: path to enabler executable: 'enabler.exe'\n"
       "DBG: path to cpuid executable: '" +
           bare + "'\n"},
      {"a path of 1023 characters is used", 0, longDir + sep + "enabler",
       "getInfoFromCPUID() started.\n"
       "DBG: path to enabler executable: '" +
           longDir + sep +
           "enabler'\n"
           "DBG: path to cpuid executable: '" +
           longDir + sep + bare + "'\n",
       false},
  };
  ASSERT_EQ(1023u, (longDir + sep + "enabler").size());
  // A cpuid program on the search path, which natively is the only place a
  // bare name is looked for: it is not the one beside the enabler, and never
  // runs there.
  report(kWorkedCpuidReport);
  ScopedEnv path("PATH", dir_->path().c_str());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    forcedLength = c.forced;
    ownPath = c.path;
    startLog(EnablerProgram::VirtualServer);
    char* record = nullptr;
    int packages = 0;
    int result = build(&record, &packages);
    free(record);
    std::string text = log();
    EXPECT_EQ(c.firstLines, text.substr(0, c.firstLines.size()));
    if (c.bare && !bareProgramNamesStartInOwnFolder()) {
      EXPECT_EQ(0, result);
      EXPECT_NE(std::string::npos,
                error_.message().find("PATH is not searched"))
          << error_.message();
    }
    std::string last = finished(result);
    ASSERT_GE(text.size(), last.size());
    EXPECT_EQ(last, text.substr(text.size() - last.size()));
  }
}

TEST_F(ProcessorRecordTest, FailedOwnPathQueryShowsThePlaceholder) {
  query_ = failingOwnPath;
  fs::remove(cpuidPath_);
  ScopedEnv path("PATH", dir_->path().c_str());
  char* record = nullptr;
  int packages = 0;
  build(&record, &packages);
  free(record);
  std::string expected =
      "getInfoFromCPUID() started.\n"
      "DBG: path to enabler executable: 'WARNING! Failed to get exec path and "
      "file name.\n'\n"
      "DBG: path to cpuid executable: '" +
      programFileName("cpuid") + "'\n";
  EXPECT_EQ(expected, log().substr(0, expected.size()));
}

TEST_F(ProcessorRecordTest,
       HomeDirectoryDoesNotHideTheProgramBesideTheEnabler) {
  // The full path of the program beside the enabler runs as it is; the home
  // directory only places bare names.
  report(kWorkedCpuidReport);
  ScopedEnv home("KEP_HOMEDIR",
                 (dir_->path() + pathSeparator() + "home").c_str());
  char* record = nullptr;
  int packages = 0;
  EXPECT_EQ(1, build(&record, &packages));
  EXPECT_STREQ("2:GenuineIntel:6:0:4:2:2400:64", record);
  free(record);
}

TEST_F(ProcessorRecordTest, BareNameRunsFromTheHomeBinDirectory) {
  // Without a usable own path the bare program name is run, and with
  // KEP_HOMEDIR set it is looked for in the home's bin directory.
  report(kWorkedCpuidReport);
  std::string sep(1, pathSeparator());
  std::string home = dir_->path() + sep + "home";
  fs::create_directories(home + sep + "bin");
  fs::rename(cpuidPath_, home + sep + "bin" + sep + programFileName("cpuid"));
  ScopedEnv homeDir("KEP_HOMEDIR", home.c_str());
  forcedLength = 1024;
  char* record = nullptr;
  int packages = 0;
  EXPECT_EQ(1, build(&record, &packages));
  EXPECT_STREQ("2:GenuineIntel:6:0:4:2:2400:64", record);
  free(record);
}

TEST_F(ProcessorRecordTest, NothingIsLoggedWithoutVerbose) {
  report(kWorkedCpuidReport);
  verbose = false;
  char* record = nullptr;
  int packages = 0;
  EXPECT_EQ(1, build(&record, &packages));
  EXPECT_STREQ("2:GenuineIntel:6:0:4:2:2400:64", record);
  EXPECT_EQ(2, packages);
  free(record);
  EXPECT_EQ("", log());
}

TEST_F(ProcessorRecordTest, VirtualServerFormFlushesItsLines) {
  report(kWorkedCpuidReport);
  char* record = nullptr;
  int packages = 0;
  build(&record, &packages);
  free(record);
  // Read without flushing the stream first: every line is on disk.
  std::string text = readTestFile(logPath_);
  EXPECT_EQ(finished(1), text.substr(text.size() - finished(1).size()));
}

TEST_F(ProcessorRecordTest, RealCpuidProgramBesideTheTests) {
  // The default own path is the test executable, beside which the build puts
  // the cpuid program.
  query_ = ownExecutablePath;
  char* record = nullptr;
  int packages = 0;
  ASSERT_EQ(1, build(&record, &packages));
  EXPECT_GE(packages, 1);
  std::string text = record;
  free(record);
  EXPECT_EQ(std::to_string(packages) + ":", text.substr(0, text.find(':') + 1));
  std::string expectedPath = testProgramPath("cpuid");
  EXPECT_NE(std::string::npos, log().find("DBG: path to cpuid executable: '" +
                                          expectedPath + "'\n"));
}

// A text handed out as the cpuid program's output pipe would hand it.
class TextReader : public ByteReader {
public:
  explicit TextReader(std::string text) : text_(std::move(text)) {}
  int read(char* buffer, int count) override {
    size_t n = std::min(static_cast<size_t>(count), text_.size() - pos_);
    memcpy(buffer, text_.data() + pos_, n);
    buffer[n] = 0;
    pos_ += n;
    return static_cast<int>(n);
  }

private:
  std::string text_;
  size_t pos_ = 0;
};

TEST(ProcessorRecordComposeTest, RecordFromADocumentWithoutARun) {
  struct Case {
    std::string report;
    EnablerProgram program;
    const char* record; ///< null: no record
    const char* why;
  };
  const Case cases[] = {
      {kWorkedCpuidReport, EnablerProgram::VirtualServer,
       "2:GenuineIntel:6:0:4:2:2400:64", "active counts"},
      {kWorkedCpuidReport, EnablerProgram::VMware,
       "2:GenuineIntel:6:0:6:1:2400:64", "CPUID counts"},
      {example("(Features\nLM:i=1\n)\n", ""), EnablerProgram::VirtualServer,
       "2:GenuineIntel:6:0:4:2:2400:64", "no features: 64 bits"},
      {example("(Features\nLM:i=1\n)\n", ""), EnablerProgram::VMware,
       "2:GenuineIntel:6:0:6:1:2400:32", "no features: 32 bits"},
      {example("ActivePackageCount:i=2", "ActivePackageCount:i=0"),
       EnablerProgram::VirtualServer, nullptr, "no package"},
      {"", EnablerProgram::VMware, nullptr, "no report"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TextReader reader(c.report);
    VtDocument* document = vtReadDocument(&reader);
    std::string record = "untouched";
    int packages = -7;
    bool built =
        composeProcessorRecord(document, c.program, &record, &packages);
    vtFreeDocument(document);
    EXPECT_EQ(c.record != nullptr, built);
    EXPECT_EQ(c.record ? c.record : "untouched", record);
    EXPECT_EQ(c.record ? 2 : -7, packages);
  }
}

TEST(ProcessorRecordComposeTest, ValuesLookedUpSayWhatIsMissing) {
  // No Features group, no clock, and a Family of the wrong kind.
  TextReader reader("1.0 0 cpuid report\n"
                    "(cpuid\n"
                    "ActivePackageCount:i=2\n"
                    "(Processor\n"
                    "Manufacturer:s=GenuineIntel\n"
                    "Family:i=6\n"
                    "Type:s=0\n"
                    "ActiveCoreCount:i=4\n"
                    "ActiveProcCount:i=8\n"
                    "(CPUID\n"
                    "CorePerPackageCount:i=6\n"
                    "HtPerCoreCount:i=1\n"
                    ")\n"
                    ")\n"
                    ")\n");
  VtDocument* document = vtReadDocument(&reader);
  struct Case {
    EnablerProgram program;
    std::vector<std::string> expected; ///< name, "+" or "-", value taken
  };
  const Case cases[] = {
      {EnablerProgram::VirtualServer,
       {"ActivePackageCount + 2", "Processor.Manufacturer + GenuineIntel",
        "Processor.Family - Unknown", "Processor.Type + 0",
        "Processor.ActiveCoreCount + 4", "Processor.ActiveProcCount + 8",
        "Processor.CpuClockMHz - 0", "Processor.Features.IEM64T - 32",
        "Processor.Features.LM - 32"}},
      {EnablerProgram::VMware,
       {"ActivePackageCount + 2", "Processor.Manufacturer + GenuineIntel",
        "Processor.Family - Unknown", "Processor.Type + 0",
        "Processor.CPUID.CorePerPackageCount + 6",
        "Processor.CPUID.HtPerCoreCount + 1", "Processor.CpuClockMHz - 0",
        "Processor.Features.IEM64T - 0", "Processor.Features.LM - 0"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> seen;
    for (const ProcessorRecordValue& value :
         processorRecordValues(document, c.program))
      seen.push_back(value.name + (value.found ? " + " : " - ") + value.taken);
    EXPECT_EQ(c.expected, seen);
  }
  vtFreeDocument(document);
}

} // namespace
