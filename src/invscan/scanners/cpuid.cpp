// cpuid.cpp: the CPUID probe. It turns register readings into the processor
// record: identity, feature words, and the cores and logical processors one
// package holds, by the rules of each vendor. The readings come through a
// CpuIdSource, so recorded processors run through the same code as this one.
#include "invscan/scanners/cpuid.h"

#include "invscan/scanners/cpu_topology.h"
#include "invscan/scanners/cpuid_cache.h"
#include "invscan/scanners/cpuid_system.h"

#include <string.h>

namespace {

const uint32_t kExtLevelLeaf = 0x80000000u;
const uint32_t kExtFeatureLeaf = 0x80000001u;
const uint32_t kBrandFirstLeaf = 0x80000002u;
const uint32_t kBrandLastLeaf = 0x80000004u;
const uint32_t kPowerManagementLeaf = 0x80000007u;
const uint32_t kAddressSizeLeaf = 0x80000008u;
const uint32_t kHttBit = 1u << 28;

uint32_t bits(uint32_t value, int high, int low) {
  return (value >> low) & ((1u << (high - low + 1)) - 1u);
}

int32_t field(uint32_t value, int high, int low) {
  return static_cast<int32_t>(bits(value, high, low));
}

// Lays the four bytes of `value`, lowest first, at `out`.
void putBytes(char* out, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out[i] = static_cast<char>(value >> (8 * i));
}

void initialise(CpuIdInfo* info) {
  memset(info, 0, sizeof(*info));
  info->family = -1;
  info->L2CacheSize = -1;
  info->L3CacheSize = -1;
  info->htLogicalProcessors = 1;
  info->numOfCores = 1;
}

void readVendor(CpuIdInfo* info, CpuIdSource& source) {
  CpuIdRegisters regs = source.read(0);
  info->maxCpuidLevel = regs.eax;
  putBytes(info->vendor, regs.ebx);
  putBytes(info->vendor + 4, regs.edx);
  putBytes(info->vendor + 8, regs.ecx);
  info->vendor[12] = '\0';
  info->Intel.isIntel = strcmp(info->vendor, "GenuineIntel") == 0;
  info->AMD.isAMD = strcmp(info->vendor, "AuthenticAMD") == 0;
}

void readSignature(CpuIdInfo* info, CpuIdSource& source) {
  CpuIdRegisters regs = source.read(1);
  info->featuresEcx = regs.ecx;
  info->featuresEdx = regs.edx;
  info->family = field(regs.eax, 11, 8);
  info->model = field(regs.eax, 7, 4);
  // Only AMD's family 15 numbering is extended here; every other vendor and
  // family keeps the base values.
  if (info->AMD.isAMD && info->family == 15) {
    info->family += field(regs.eax, 27, 20);
    info->model += 16 * field(regs.eax, 19, 16);
  }
  info->stepping = field(regs.eax, 3, 0);
  info->processorType = field(regs.eax, 13, 12);
  info->cpuSignature = regs.eax & 0x0FFF3FFFu;
  info->brandIndex = field(regs.ebx, 7, 0);
  info->apicIdCount = field(regs.ebx, 23, 16);
  info->apicId = field(regs.ebx, 31, 24);
  info->HTTisSet = (regs.edx & kHttBit) != 0;
  if (info->HTTisSet)
    info->htLogicalProcessors = info->apicIdCount;
}

void readBrandString(CpuIdInfo* info, CpuIdSource& source) {
  char text[49];
  char* out = text;
  for (uint32_t leaf = kBrandFirstLeaf; leaf <= kBrandLastLeaf; ++leaf) {
    CpuIdRegisters regs = source.read(leaf);
    putBytes(out, regs.eax);
    putBytes(out + 4, regs.ebx);
    putBytes(out + 8, regs.ecx);
    putBytes(out + 12, regs.edx);
    out += 16;
  }
  text[48] = '\0';
  // Some processors right-justify the brand within the 48 bytes.
  const char* start = text;
  while (*start == ' ' || *start == '\t')
    ++start;
  strcpy(info->brandString, start);
}

void countIntelCores(CpuIdInfo* info, CpuIdSource& source) {
  // Leaf 4 at sub-leaf 0 describes the first cache; its top bits count the
  // core IDs of the package, minus one.
  CpuIdRegisters regs = source.read(4);
  info->Intel.maxCoresPerChip = field(regs.eax, 31, 26) + 1;
  info->numOfCores = info->Intel.maxCoresPerChip;
}

void countAmdCores(CpuIdInfo* info, CpuIdSource& source) {
  info->AMD.cmpLegacyIsSet = field(info->ext1Ecx, 0, 0);
  info->AMD.extBrandId = bits(info->ext1Ebx, 15, 0);
  if (info->maxCpuidExtLevel >= kPowerManagementLeaf)
    info->AMD.powerManagement = source.read(kPowerManagementLeaf).edx;
  if (info->maxCpuidExtLevel < kAddressSizeLeaf)
    return;
  uint32_t ecx = source.read(kAddressSizeLeaf).ecx;
  info->AMD.apicCoreBitsCount = field(ecx, 15, 12);
  info->AMD.numOfCores = field(ecx, 7, 0) + 1;
  int32_t mnc = field(ecx, 15, 12);
  info->AMD.maxCoresPerChip = mnc != 0 ? 1 << mnc : info->AMD.numOfCores;
  info->numOfCores = info->AMD.numOfCores;
}

void countPerChip(CpuIdInfo* info) {
  info->numCoresPerChip = 1;
  info->numLogicalPerChip = 1;
  info->numLogicalPerCore = 1;
  if (info->Intel.isIntel) {
    if (info->maxCpuidLevel >= 4) {
      info->numCoresPerChip = info->Intel.maxCoresPerChip;
      info->numLogicalPerChip = info->Intel.maxCoresPerChip;
    }
    if (info->HTTisSet)
      info->numLogicalPerChip = info->apicIdCount;
    info->numLogicalPerCore = info->numLogicalPerChip / info->numCoresPerChip;
    return;
  }
  // The signature test keeps the base family and the extended model: family
  // 15 processors from the dual-core generation on. Without leaf 0x80000008
  // the core count is unknown (0) and the figures stay 1.
  if (info->AMD.isAMD && (info->cpuSignature & 0x000F0F00u) >= 0x00020F00u &&
      info->HTTisSet && info->AMD.numOfCores > 0) {
    info->numLogicalPerChip = info->apicIdCount;
    info->numCoresPerChip = info->AMD.numOfCores;
    info->numLogicalPerCore = info->numLogicalPerChip / info->numCoresPerChip;
  }
}

} // namespace

CpuIdRegisters CpuIdSource::readSubLeaf(uint32_t leaf, uint32_t subLeaf) {
  if (subLeaf == 0)
    return read(leaf);
  return {0, 0, 0, 0};
}

namespace {

class ProcessorCpuIdSource : public CpuIdSource {
public:
  bool hasCpuId() override { return cpuidInstructionAvailable(); }
  CpuIdRegisters read(uint32_t leaf) override {
    // The probe reads leaf 4 and every other leaf at sub-leaf 0.
    return executeCpuid(leaf, 0);
  }
  CpuIdRegisters readSubLeaf(uint32_t leaf, uint32_t subLeaf) override {
    return executeCpuid(leaf, subLeaf);
  }
};

} // namespace

CpuIdSource& processorCpuIdSource() {
  static ProcessorCpuIdSource source;
  return source;
}

ProcessorServices systemProcessorServices() {
  ProcessorServices services;
  services.cpuIdSource = &processorCpuIdSource();
  services.processorCount = getNumberOfProcessors;
  services.packageCount = getNumberOfPhysicalPackages;
  return services;
}

int getCpuIdInfo(CpuIdInfo* info) {
  return getCpuIdInfo(info, processorCpuIdSource());
}

int getCpuIdInfo(CpuIdInfo* info, CpuIdSource& source) {
  initialise(info);
  if (!source.hasCpuId())
    return 1;
  readVendor(info, source);
  if (info->maxCpuidLevel >= 1)
    readSignature(info, source);
  if (info->maxCpuidLevel >= 2)
    readCacheDescriptors(info, source);
  getLegacyCacheInfo(info);
  info->maxCpuidExtLevel = source.read(kExtLevelLeaf).eax;
  if (info->maxCpuidExtLevel >= kBrandLastLeaf)
    readBrandString(info, source);
  getExtL2CacheInfo(info, info->maxCpuidExtLevel, source);
  if (info->maxCpuidExtLevel >= kExtFeatureLeaf) {
    CpuIdRegisters regs = source.read(kExtFeatureLeaf);
    info->ext1Eax = regs.eax;
    info->ext1Ebx = regs.ebx;
    info->ext1Ecx = regs.ecx;
    info->ext1Edx = regs.edx;
  }
  if (info->Intel.isIntel && info->maxCpuidLevel >= 4)
    countIntelCores(info, source);
  else if (info->AMD.isAMD && info->maxCpuidExtLevel >= kExtFeatureLeaf)
    countAmdCores(info, source);
  countPerChip(info);
  if (info->numOfCores > 0)
    info->htLogicalPerCore = info->htLogicalProcessors / info->numOfCores;
  return 0;
}

int getNumberOfProcessors() {
  return systemProcessorCount();
}

int getNumberOfPhysicalPackages() {
  CpuTopology topology;
  return readCpuTopology(&topology) ? topology.packages : 0;
}

int packagesByDivision(int processors, int32_t htLogicalProcessors) {
  // A probe that counted no logical processors per package counts no
  // packages rather than dividing by zero.
  return htLogicalProcessors != 0 ? processors / htLogicalProcessors : 0;
}

int choosePhysicalPackages(int systemPackages, int processors,
                           int32_t htLogicalProcessors) {
  // The probe's figure is the number of APIC IDs a package provides for,
  // rounded up to a power of two on most processors since 2008, not the
  // number of its logical processors: the system's count is the sound one
  // wherever the system has one.
  if (systemPackages >= 1)
    return systemPackages;
  return packagesByDivision(processors, htLogicalProcessors);
}

int vmwareNodeCapacity(bool probed, int chosenPackages) {
  if (!probed)
    return 0;
  return chosenPackages < 1 ? 1 : chosenPackages;
}
