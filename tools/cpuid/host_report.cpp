// host_report.cpp: the parts of the cpuid program that need no operating
// system: decoding the CPUID leaves and writing the report.
#include "host_report.h"

#include <stdio.h>
#include <string.h>

namespace {

const uint32_t kExtendedBase = 0x80000000;

std::string vendorOf(const CpuIdRegisters& leaf0) {
  char text[13];
  memcpy(text, &leaf0.ebx, 4);
  memcpy(text + 4, &leaf0.edx, 4);
  memcpy(text + 8, &leaf0.ecx, 4);
  text[12] = 0;
  // A hypervisor may set any bytes here; a line break would end the report's
  // value line, so control bytes are shown as '?'.
  for (char& c : text)
    if (c != 0 && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F))
      c = '?';
  return text;
}

bool isAmdLike(const std::string& vendor) {
  return vendor == "AuthenticAMD" || vendor == "HygonGenuine";
}

// Leaf 0BH, the extended topology leaf: each sub-leaf describes one level,
// ECX[15:8] its type (1 = SMT, 2 = core) and EBX[15:0] the logical processors
// at that level, counted across the level: threads per core at the SMT level,
// threads per package at the core level. False when the leaf is not given.
bool topologyFromLeafB(CpuIdSource& source, uint32_t maxLeaf, int* threads,
                       int* logicalPerPackage) {
  if (maxLeaf < 0xB || (source.read(0xB).ebx & 0xFFFF) == 0)
    return false;
  *threads = 0;
  *logicalPerPackage = 0;
  for (uint32_t level = 0; level < 8; ++level) {
    CpuIdRegisters r = source.readSubLeaf(0xB, level);
    uint32_t type = (r.ecx >> 8) & 0xFF;
    if (type == 0)
      break;
    int count = static_cast<int>(r.ebx & 0xFFFF);
    if (type == 1)
      *threads = count;
    else if (type == 2)
      *logicalPerPackage = count;
  }
  if (*threads == 0)
    *threads = 1;
  if (*logicalPerPackage == 0)
    *logicalPerPackage = *threads;
  return true;
}

// Without leaf 0BH. AMD: leaf 80000008H ECX[7:0] + 1 is the number of
// threads in the package, and with topology extensions leaf 8000001EH
// EBX[15:8] + 1 the threads per core. Intel: leaf 4 EAX[31:26] + 1 is the
// number of cores the package provides for, leaf 1 EBX[23:16] the logical
// processors it provides for when the HTT flag (leaf 1 EDX bit 28) is set.
void topologyFromOlderLeaves(CpuIdSource& source, uint32_t maxLeaf,
                             const std::string& vendor, int* threads,
                             int* logicalPerPackage) {
  CpuIdRegisters leaf1 = source.read(1);
  bool htt = (leaf1.edx >> 28) & 1;
  int logical = htt ? static_cast<int>((leaf1.ebx >> 16) & 0xFF) : 1;
  if (logical == 0)
    logical = 1;
  uint32_t maxExtended = source.read(kExtendedBase).eax;
  if (isAmdLike(vendor)) {
    if (maxExtended >= 0x80000008)
      logical = static_cast<int>(source.read(0x80000008).ecx & 0xFF) + 1;
    bool topologyExtensions =
        maxExtended >= 0x80000001 && ((source.read(0x80000001).ecx >> 22) & 1);
    *threads = 1;
    if (topologyExtensions && maxExtended >= 0x8000001E)
      *threads =
          static_cast<int>((source.read(0x8000001E).ebx >> 8) & 0xFF) + 1;
  } else {
    int cores = 1;
    if (maxLeaf >= 4)
      cores = static_cast<int>(source.read(4).eax >> 26) + 1;
    *threads = logical > cores ? logical / cores : 1;
  }
  *logicalPerPackage = logical;
}

void addInt(std::string* out, const char* name, int value) {
  char line[64];
  snprintf(line, sizeof line, "%s:i=%d\n", name, value);
  *out += line;
}

void addString(std::string* out, const char* name, const std::string& value) {
  *out += name;
  *out += ":s=";
  *out += value;
  *out += "\n";
}

} // namespace

bool readProcessorFacts(CpuIdSource& source, ProcessorFacts* facts) {
  if (!source.hasCpuId())
    return false;
  CpuIdRegisters leaf0 = source.read(0);
  uint32_t maxLeaf = leaf0.eax;
  facts->vendor = vendorOf(leaf0);

  // Leaf 1 EAX: the signature. Family in bits 11:8, extended family in bits
  // 27:20 (added when the family is 15), processor type in bits 13:12.
  CpuIdRegisters leaf1 = maxLeaf >= 1 ? source.read(1) : CpuIdRegisters{};
  int family = static_cast<int>((leaf1.eax >> 8) & 0xF);
  if (family == 0xF)
    family += static_cast<int>((leaf1.eax >> 20) & 0xFF);
  facts->family = family;
  facts->type = static_cast<int>((leaf1.eax >> 12) & 0x3);

  // Leaf 80000001H EDX bit 29: long mode (Intel 64 on Intel, AMD64 on AMD).
  uint32_t maxExtended = source.read(kExtendedBase).eax;
  facts->longMode =
      maxExtended >= 0x80000001 && ((source.read(0x80000001).edx >> 29) & 1);

  int threads = 1;
  int logicalPerPackage = 1;
  if (!topologyFromLeafB(source, maxLeaf, &threads, &logicalPerPackage))
    topologyFromOlderLeaves(source, maxLeaf, facts->vendor, &threads,
                            &logicalPerPackage);
  facts->threadsPerCore = threads;
  facts->coresPerPackage =
      logicalPerPackage >= threads ? logicalPerPackage / threads : 1;

  // Leaf 16H EAX: the processor's base frequency in MHz, where given.
  facts->baseClockMHz =
      maxLeaf >= 0x16 ? static_cast<int>(source.read(0x16).eax & 0xFFFF) : 0;
  return true;
}

std::string formatHostReport(const ProcessorFacts* facts,
                             const CpuTopology* topology, int clockMHz) {
  std::string out;
  if (facts && topology)
    out += "1.0 0 processors of this host\n";
  else if (!facts)
    out += "1.0 1 the processor does not execute CPUID\n";
  else
    out += "1.0 1 the processor topology could not be read\n";

  out += "(cpuid\n";
  if (topology)
    addInt(&out, "ActivePackageCount", topology->packages);
  out += "(Processor\n";
  if (facts) {
    addString(&out, "Manufacturer", facts->vendor);
    addString(&out, "Family", std::to_string(facts->family));
    addString(&out, "Type", std::to_string(facts->type));
  }
  if (topology && topology->packages > 0) {
    // Per package: the host's active counts shared evenly among its packages.
    addInt(&out, "ActiveCoreCount", topology->cores / topology->packages);
    addInt(&out, "ActiveProcCount", topology->logical / topology->packages);
  }
  if (clockMHz > 0)
    addInt(&out, "CpuClockMHz", clockMHz);
  if (facts) {
    bool intel = facts->vendor == "GenuineIntel";
    out += "(Features\n";
    addInt(&out, "IEM64T", intel && facts->longMode ? 1 : 0);
    addInt(&out, "LM", facts->longMode ? 1 : 0);
    out += ")\n";
    out += "(CPUID\n";
    addInt(&out, "CorePerPackageCount", facts->coresPerPackage);
    addInt(&out, "HtPerCoreCount", facts->threadsPerCore);
    out += ")\n";
  }
  out += ")\n";
  out += ")\n";
  return out;
}
