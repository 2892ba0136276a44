// cpu_topology_test.cpp: the kernel's CPU lists and ids as text, and the
// topology of the host the tests run on, natively and under Wine.
#include "invscan/scanners/cpu_topology.h"

#include "invscan/scanners/cpuid.h"
#include "test_util.h"

#include <gtest/gtest.h>

namespace {

TEST(CpuTopologyTest, CpuListsOfTheKernel) {
  struct Case {
    const char* text;
    bool ok;
    std::set<int> cpus;
  };
  const Case cases[] = {
      {"0\n", true, {0}},
      {"0-3,8,10-11\n", true, {0, 1, 2, 3, 8, 10, 11}},
      {"2-2", true, {2}},
      {"4-6,0-1,5-9,1,3\n", true, {0, 1, 3, 4, 5, 6, 7, 8, 9}},
      {"65535\n", true, {65535}},
      {"", false, {}},
      {"\n", false, {}},
      {"x\n", false, {}},
      {"3-1\n", false, {}},
      {"0-\n", false, {}},
      {"0 1\n", false, {}},
      {"0,\n", false, {}},
      {",0\n", false, {}},
      {"+1\n", false, {}},
      {" 1\n", false, {}},
      {"0\n\n", false, {}},
      {"0-4000000000\n", false, {}},
      {"99999999999999999999\n", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::set<int> cpus;
    EXPECT_EQ(c.ok, parseCpuList(c.text, &cpus));
    EXPECT_EQ(c.cpus, cpus);
  }
  // 8191 ranges of every number, just under the file's 64 KiB: each number
  // is still taken once, not once per range (minutes of work before).
  std::string repeated;
  for (int i = 0; i < 8191; ++i)
    repeated += i ? ",0-65535" : "0-65535";
  std::set<int> cpus;
  EXPECT_TRUE(parseCpuList(repeated, &cpus));
  EXPECT_EQ(65536u, cpus.size());
}

TEST(CpuTopologyTest, TopologyIds) {
  struct Case {
    std::string text;
    bool ok;
    long id;
  };
  const Case cases[] = {
      {"0\n", true, 0},
      {"3", true, 3},
      {"17\n", true, 17},
      {"-1\n", false, 0},
      {"", false, 0},
      {"\n", false, 0},
      {"1x\n", false, 0},
      {"1 \n", false, 0},
      {"1\n\n", false, 0},
      {"0x1\n", false, 0},
      {std::string("1\0", 2), false, 0},
      {"99999999999\n", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    long id = -7;
    EXPECT_EQ(c.ok, parseTopologyId(c.text, &id));
    EXPECT_EQ(c.ok ? c.id : -7, id);
  }
}

TEST(CpuTopologyTest, ThisHostHasConsistentCounts) {
  ScopedEnv root("KEP_CPU_ROOT", nullptr);
  CpuTopology topology;
  ASSERT_TRUE(readCpuTopology(&topology));
  EXPECT_GE(topology.packages, 1);
  EXPECT_GE(topology.cores, topology.packages);
  EXPECT_GE(topology.logical, topology.cores);
  EXPECT_EQ(topology.packages, getNumberOfPhysicalPackages());
}

} // namespace
