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
