// cpuid_cache.h: the probe's cache steps, inside the scanner module: the
// leaf-2 descriptor bytes, the L2 and L3 figures they name, and the L2 figures
// of extended leaf 0x80000006.
#ifndef ENABLER_SCANNERS_CPUID_CACHE_H
#define ENABLER_SCANNERS_CPUID_CACHE_H

#include "invscan/scanners/cpuid.h"

#include <stdint.h>

/// One row of a descriptor table: the descriptor byte and the cache it names.
struct CacheDescriptorRow {
  unsigned char descriptor;
  int32_t sizeKb;
  int32_t ways;
  int32_t lineSize;
};

/// The descriptors that name an L2 cache and those that name an L3 cache,
/// each table ended by a row with descriptor 0.
extern const CacheDescriptorRow kL2DescriptorTable[];
extern const CacheDescriptorRow kL3DescriptorTable[];

/// Executes leaf 2 as often as its pass count asks and collects the
/// descriptor bytes into info->cacheDescriptors; resets descriptorCount first.
void readCacheDescriptors(CpuIdInfo* info, CpuIdSource& source);
/// Stores the descriptor bytes of one register, most significant byte first,
/// unless bit 31 says the register holds none.
void collectDescriptors(CpuIdInfo* info, uint32_t reg);
/// The first known L2 and the first known L3 descriptor among the first
/// descriptorCount bytes give the L2 and L3 figures.
void getLegacyCacheInfo(CpuIdInfo* info);
/// L2 figures from leaf 0x80000006 when the descriptors named no L2 cache
/// and `maxCpuidExtLevel` reaches that leaf.
void getExtL2CacheInfo(CpuIdInfo* info, uint32_t maxCpuidExtLevel,
                       CpuIdSource& source);

#endif
