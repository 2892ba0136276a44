// cpu_topology_posix_test.cpp: the sysfs reader on small CPU directories of
// the test's making, named by KEP_CPU_ROOT.
#include "invscan/scanners/cpu_topology.h"
#include "invscan/scanners/cpuid.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

// Paths below the CPU directory and their content; a content of kFifo makes
// a named pipe, kDirectory a directory.
using Tree = std::map<std::string, std::string>;
const char kFifo[] = "<fifo>";
const char kDirectory[] = "<directory>";

// The online list `online` ("0-3") and, by processor, its package and core
// id.
Tree cpuTree(const std::string& online,
             const std::map<int, std::pair<long, long>>& ids) {
  Tree tree{{"online", online + "\n"}};
  for (const auto& entry : ids) {
    std::string dir = "cpu" + std::to_string(entry.first) + "/topology/";
    tree[dir + "physical_package_id"] =
        std::to_string(entry.second.first) + "\n";
    tree[dir + "core_id"] = std::to_string(entry.second.second) + "\n";
  }
  return tree;
}

void makeTree(const fs::path& root, const Tree& tree) {
  for (const auto& entry : tree) {
    fs::path path = root / entry.first;
    fs::create_directories(path.parent_path());
    if (entry.second == kFifo) {
      ASSERT_EQ(0, mkfifo(path.c_str(), 0600)) << path;
    } else if (entry.second == kDirectory) {
      fs::create_directories(path);
    } else {
      ASSERT_TRUE(writeTestFile(path.string(), entry.second)) << path;
    }
  }
}

// Two packages of two cores with two threads each: cpu0-3 and cpu4-7.
Tree twoPackages() {
  return cpuTree("0-7", {{0, {0, 0}},
                         {1, {0, 0}},
                         {2, {0, 1}},
                         {3, {0, 1}},
                         {4, {1, 0}},
                         {5, {1, 0}},
                         {6, {1, 1}},
                         {7, {1, 1}}});
}

Tree with(Tree tree, const std::string& path, const std::string& content) {
  tree[path] = content;
  return tree;
}

Tree without(Tree tree, const std::string& path) {
  tree.erase(path);
  return tree;
}

} // namespace

TEST(CpuTopologyPosixTest, FakeCpuDirectories) {
  struct Case {
    const char* why;
    Tree tree;
    bool ok;
    int packages, cores, logical;
  };
  const std::string longList(70000, '0');
  const Case cases[] = {
      {"two packages, two cores each, two threads a core", twoPackages(), true,
       2, 4, 8},
      {"the second package offline: its processors are not listed",
       with(twoPackages(), "online", "0-3\n"), true, 1, 2, 4},
      {"an offline processor with a garbled id is not read",
       with(with(twoPackages(), "online", "0-3\n"),
            "cpu4/topology/physical_package_id", "?\n"),
       true, 1, 2, 4},
      {"gaps in the numbers of processors and packages",
       cpuTree("0,2,5-6", {{0, {0, 0}}, {2, {0, 1}}, {5, {3, 0}}, {6, {3, 1}}}),
       true, 2, 4, 4},
      {"no line end in the files",
       Tree{{"online", "0"},
            {"cpu0/topology/physical_package_id", "0"},
            {"cpu0/topology/core_id", "0"}},
       true, 1, 1, 1},
      {"two dies with the same core ids in one package",
       with(with(with(with(cpuTree("0-3", {{0, {0, 0}},
                                           {1, {0, 1}},
                                           {2, {0, 0}},
                                           {3, {0, 1}}}),
                           "cpu0/topology/die_id", "0\n"),
                      "cpu1/topology/die_id", "0\n"),
                 "cpu2/topology/die_id", "1\n"),
            "cpu3/topology/die_id", "1\n"),
       true, 1, 4, 4},
      {"a package id missing",
       without(twoPackages(), "cpu5/topology/physical_package_id"), false, 0, 0,
       0},
      {"a core id missing", without(twoPackages(), "cpu0/topology/core_id"),
       false, 0, 0, 0},
      {"a garbled package id",
       with(twoPackages(), "cpu3/topology/physical_package_id", "one\n"), false,
       0, 0, 0},
      {"the kernel's unknown package id",
       with(twoPackages(), "cpu3/topology/physical_package_id", "-1\n"), false,
       0, 0, 0},
      {"an empty package id",
       with(twoPackages(), "cpu3/topology/physical_package_id", ""), false, 0,
       0, 0},
      {"a directory in place of a package id",
       with(twoPackages(), "cpu1/topology/physical_package_id", kDirectory),
       false, 0, 0, 0},
      {"a named pipe in place of a package id",
       with(twoPackages(), "cpu1/topology/physical_package_id", kFifo), false,
       0, 0, 0},
      {"a named pipe in place of the online list",
       with(twoPackages(), "online", kFifo), false, 0, 0, 0},
      {"no online list", without(twoPackages(), "online"), false, 0, 0, 0},
      {"a garbled online list", with(twoPackages(), "online", "0-7,x\n"), false,
       0, 0, 0},
      {"an online list past the size limit",
       with(twoPackages(), "online", "0," + longList + "\n"), false, 0, 0, 0},
      {"an empty directory", Tree{}, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    TempDir dir;
    fs::path root = fs::path(dir.path()) / "cpu";
    fs::create_directory(root);
    makeTree(root, c.tree);
    ScopedEnv env("KEP_CPU_ROOT", root.c_str());
    CpuTopology topology;
    topology.packages = -5;
    EXPECT_EQ(c.ok, readCpuTopology(&topology));
    if (c.ok) {
      EXPECT_EQ(c.packages, topology.packages);
      EXPECT_EQ(c.cores, topology.cores);
      EXPECT_EQ(c.logical, topology.logical);
    } else {
      EXPECT_EQ(-5, topology.packages) << "changed although unreadable";
    }
    EXPECT_EQ(c.ok ? c.packages : 0, getNumberOfPhysicalPackages());
  }
}

TEST(CpuTopologyPosixTest, MissingRootIsNotKnown) {
  TempDir dir;
  ScopedEnv env("KEP_CPU_ROOT", (dir.path() + "/none").c_str());
  CpuTopology topology;
  EXPECT_FALSE(readCpuTopology(&topology));
  EXPECT_EQ(0, getNumberOfPhysicalPackages());
}
