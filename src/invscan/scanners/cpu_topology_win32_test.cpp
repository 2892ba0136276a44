// cpu_topology_win32_test.cpp: the Win32 topology reader with stand-ins for
// the two Windows functions, either of them missing, and with the real ones
// of the Windows (or Wine) the tests run on.
#include "invscan/scanners/cpu_topology_win32.h"

#include <gtest/gtest.h>

#include <stddef.h>
#include <string.h>

#include <utility>
#include <vector>

namespace {

using ExRecord = SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX;
using PlainRecord = SYSTEM_LOGICAL_PROCESSOR_INFORMATION;
using Masks = std::vector<std::pair<WORD, KAFFINITY>>; // group, mask

// What the stand-ins answer; reset by each case.
struct FakeHost {
  std::vector<PlainRecord> plain;
  std::vector<char> exPackages;
  std::vector<char> exCores;
  bool exFails = false;
  bool exGrowsOnce = false; ///< the first filling call finds more records
};
FakeHost host;

PlainRecord plainRecord(LOGICAL_PROCESSOR_RELATIONSHIP relation,
                        ULONG_PTR mask) {
  PlainRecord r;
  memset(&r, 0, sizeof r);
  r.Relationship = relation;
  r.ProcessorMask = mask;
  return r;
}

// One Ex record of `relation` spanning the groups of `masks`, appended to
// `out` at its real, variable size.
void addExRecord(std::vector<char>* out,
                 LOGICAL_PROCESSOR_RELATIONSHIP relation, const Masks& masks) {
  size_t size = offsetof(ExRecord, Processor.GroupMask) +
                masks.size() * sizeof(GROUP_AFFINITY);
  size = (size + 7) & ~size_t{7};
  std::vector<char> bytes(size > sizeof(ExRecord) ? size : sizeof(ExRecord));
  auto* r = reinterpret_cast<ExRecord*>(bytes.data());
  r->Relationship = relation;
  r->Size = static_cast<DWORD>(size);
  r->Processor.GroupCount = static_cast<WORD>(masks.size());
  GROUP_AFFINITY* affinity = r->Processor.GroupMask;
  for (size_t i = 0; i < masks.size(); ++i) {
    affinity[i].Group = masks[i].first;
    affinity[i].Mask = masks[i].second;
  }
  out->insert(out->end(), bytes.begin(), bytes.begin() + size);
}

BOOL answer(const void* records, DWORD needed, void* buffer, PDWORD length) {
  if (!buffer || *length < needed) {
    *length = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  memcpy(buffer, records, needed);
  *length = needed;
  return TRUE;
}

BOOL WINAPI fakePlain(PSYSTEM_LOGICAL_PROCESSOR_INFORMATION buffer,
                      PDWORD length) {
  return answer(host.plain.data(),
                static_cast<DWORD>(host.plain.size() * sizeof(PlainRecord)),
                buffer, length);
}

BOOL WINAPI fakeEx(LOGICAL_PROCESSOR_RELATIONSHIP relation,
                   PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX buffer,
                   PDWORD length) {
  if (host.exFails) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<char>& records =
      relation == RelationProcessorPackage ? host.exPackages : host.exCores;
  if (buffer && host.exGrowsOnce) {
    host.exGrowsOnce = false;
    addExRecord(&records, relation, {{0, 0x100}});
  }
  return answer(records.data(), static_cast<DWORD>(records.size()), buffer,
                length);
}

// Two packages of two cores with two threads each, in one group.
void plainTwoPackages() {
  host.plain = {plainRecord(RelationProcessorPackage, 0x0F),
                plainRecord(RelationProcessorCore, 0x03),
                plainRecord(RelationCache, 0x03),
                plainRecord(RelationProcessorCore, 0x0C),
                plainRecord(RelationProcessorPackage, 0xF0),
                plainRecord(RelationNumaNode, 0xFF),
                plainRecord(RelationProcessorCore, 0x30),
                plainRecord(RelationProcessorCore, 0xC0)};
}

// Three packages over two groups, the last one spanning both; eight cores of
// two threads each.
void exThreePackages() {
  addExRecord(&host.exPackages, RelationProcessorPackage, {{0, 0x0F}});
  addExRecord(&host.exPackages, RelationProcessorPackage, {{1, 0x0F}});
  addExRecord(&host.exPackages, RelationProcessorPackage,
              {{0, 0xF0}, {1, 0xF0}});
  for (WORD group = 0; group < 2; ++group)
    for (KAFFINITY mask : {0x03, 0x0C, 0x30, 0xC0})
      addExRecord(&host.exCores, RelationProcessorCore, {{group, mask}});
}

} // namespace

TEST(CpuTopologyWin32Test, FunctionsPresentOrMissing) {
  struct Case {
    const char* why;
    void (*setUp)();
    bool withEx, withPlain;
    bool ok;
    int packages, cores, logical;
  };
  const Case cases[] = {
      {"both functions missing", [] { plainTwoPackages(); }, false, false,
       false, 0, 0, 0},
      {"only the plain function", [] { plainTwoPackages(); }, false, true, true,
       2, 4, 8},
      {"the Ex function counts every group and goes first",
       [] {
         plainTwoPackages();
         exThreePackages();
       },
       true, true, true, 3, 8, 16},
      {"only the Ex function", [] { exThreePackages(); }, true, false, true, 3,
       8, 16},
      {"the Ex function fails: the plain one answers",
       [] {
         plainTwoPackages();
         exThreePackages();
         host.exFails = true;
       },
       true, true, true, 2, 4, 8},
      {"records added between sizing and filling",
       [] {
         exThreePackages();
         host.exGrowsOnce = true;
       },
       true, false, true, 4, 8, 16},
      {"the Ex function lists no package",
       [] {
         plainTwoPackages();
         exThreePackages();
         host.exPackages.clear();
       },
       true, true, true, 2, 4, 8},
      {"a core record shorter than its groups",
       [] {
         plainTwoPackages();
         exThreePackages();
         size_t at = host.exCores.size();
         addExRecord(&host.exCores, RelationProcessorCore, {{0, 0x300}});
         reinterpret_cast<ExRecord*>(&host.exCores[at])->Processor.GroupCount =
             40;
       },
       true, true, true, 2, 4, 8},
      {"no processors at all", [] { host.plain.clear(); }, false, true, false,
       0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    host = FakeHost();
    c.setUp();
    CpuTopology topology;
    topology.packages = -5;
    EXPECT_EQ(c.ok, readCpuTopologyWith(c.withEx ? fakeEx : nullptr,
                                        c.withPlain ? fakePlain : nullptr,
                                        &topology));
    EXPECT_EQ(c.ok ? c.packages : -5, topology.packages);
    if (c.ok) {
      EXPECT_EQ(c.cores, topology.cores);
      EXPECT_EQ(c.logical, topology.logical);
    }
  }
}

TEST(CpuTopologyWin32Test, RealFunctionsAgree) {
  HMODULE kernel32 = GetModuleHandleA("kernel32");
  ASSERT_NE(nullptr, kernel32);
  auto plain = reinterpret_cast<GetLogicalProcessorInformationFn>(
      reinterpret_cast<void*>(
          GetProcAddress(kernel32, "GetLogicalProcessorInformation")));
  ASSERT_NE(nullptr, plain);
  CpuTopology fromPlain, fromSystem;
  ASSERT_TRUE(readCpuTopologyWith(nullptr, plain, &fromPlain));
  ASSERT_TRUE(readCpuTopology(&fromSystem));
  EXPECT_GE(fromPlain.packages, 1);
  EXPECT_EQ(fromSystem.packages, fromPlain.packages);
  EXPECT_EQ(fromSystem.cores, fromPlain.cores);
}
