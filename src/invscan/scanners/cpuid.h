// cpuid.h: the processor scanner. The CPUID probe fills one CpuIdInfo with the
// processor's identity, feature words, cache figures and per-package counts;
// beside it the number of logical processors the system reports.
#ifndef ENABLER_SCANNERS_CPUID_H
#define ENABLER_SCANNERS_CPUID_H

#include "common/platform/cpuid_instruction.h"

#include <stdint.h>

#include <functional>

/// The probe's record, owned by the caller and filled in place. Every integer
/// is 32 bits wide; the fields stand in the order of the processor record.
struct CpuIdInfo {
  char vendor[13];
  char brandString[49];
  int32_t family;
  int32_t model;
  int32_t stepping;
  int32_t processorType;
  int32_t brandIndex;
  uint32_t cpuSignature;
  uint32_t maxCpuidLevel;
  uint32_t maxCpuidExtLevel;
  int32_t apicId;
  int32_t apicIdCount;
  unsigned char cacheDescriptors[256];
  int32_t L2CacheSize;
  int32_t L2CacheLineSize;
  int32_t L2CacheAssociativity;
  int32_t L3CacheSize;
  int32_t L3CacheLineSize;
  int32_t L3CacheAssociativity;
  int32_t HTTisSet;
  uint32_t featuresEcx;
  uint32_t featuresEdx;
  uint32_t ext1Eax;
  uint32_t ext1Ebx;
  uint32_t ext1Ecx;
  uint32_t ext1Edx;
  struct {
    int32_t isIntel;
    int32_t maxCoresPerChip;
  } Intel;
  struct {
    int32_t isAMD;
    uint32_t powerManagement;
    uint32_t extBrandId;
    int32_t cmpLegacyIsSet;
    int32_t maxCoresPerChip;
    int32_t apicCoreBitsCount;
    int32_t numOfCores;
  } AMD;
  int32_t numCoresPerChip;
  int32_t numLogicalPerChip;
  int32_t numLogicalPerCore;
  int32_t htLogicalProcessors; ///< logical processors per package
  int32_t numOfCores;          ///< cores per package
  int32_t htLogicalPerCore;
};

/// Where the probe gets its register readings: the instruction itself, or
/// recorded readings of another processor.
class CpuIdSource {
public:
  virtual ~CpuIdSource() = default;
  /// Whether the processor executes CPUID (the EFLAGS ID test).
  virtual bool hasCpuId() = 0;
  /// CPUID with EAX = `leaf` and ECX = 0.
  virtual CpuIdRegisters read(uint32_t leaf) = 0;
  /// CPUID with EAX = `leaf` and ECX = `subLeaf`, for the leaves that list
  /// their items by sub-leaf (the cache leaves 4 and 0x8000001D). Sub-leaf 0
  /// is read(leaf). A source that keeps no other sub-leaves, as this default
  /// does, answers them with zeros, which those leaves take as the list's end.
  virtual CpuIdRegisters readSubLeaf(uint32_t leaf, uint32_t subLeaf);
};

/// The instruction on this processor. On processors other than x86 and
/// x86-64 hasCpuId() is false.
CpuIdSource& processorCpuIdSource();

/// What counting the host's packages asks of the machine: the CPUID readings
/// and the operating system's counts. The enablers use the machine's
/// (systemProcessorServices); tests and cpuprobe put recorded ones in place.
struct ProcessorServices {
  CpuIdSource* cpuIdSource;            ///< never null
  std::function<int()> processorCount; ///< as getNumberOfProcessors
  std::function<int()> packageCount;   ///< as getNumberOfPhysicalPackages
};

/// The instruction, getNumberOfProcessors and getNumberOfPhysicalPackages.
ProcessorServices systemProcessorServices();

/// Fills `info` from the instruction. 0 when the processor executes CPUID
/// and the record is complete; 1 when it does not (the record keeps its
/// initial values: htLogicalProcessors 1, numOfCores 1, htLogicalPerCore 0).
int getCpuIdInfo(CpuIdInfo* info);
/// The same probe on the given source.
int getCpuIdInfo(CpuIdInfo* info, CpuIdSource& source);

/// The number of logical processors the system reports.
int getNumberOfProcessors();
/// The number of physical packages the operating system reports (see
/// cpu_topology.h); 0 when it cannot tell.
int getNumberOfPhysicalPackages();

/// The package count by division: `processors` / `htLogicalProcessors`,
/// truncated; 0 when `htLogicalProcessors` is 0.
int packagesByDivision(int processors, int32_t htLogicalProcessors);
/// The package count both enablers use: `systemPackages` when the system
/// knows it (1 or more), else packagesByDivision(). A caller whose probe
/// failed passes 0 for `systemPackages`.
int choosePhysicalPackages(int systemPackages, int processors,
                           int32_t htLogicalProcessors);

/// The node capacity vmware-enabler passes to its script: 0 when the probe
/// failed (no CPUID), else `chosenPackages` (choosePhysicalPackages) raised
/// to at least 1.
int vmwareNodeCapacity(bool probed, int chosenPackages);

/// Descriptor bytes collected by the last probe that read leaf 2.
extern int32_t descriptorCount;

#endif
