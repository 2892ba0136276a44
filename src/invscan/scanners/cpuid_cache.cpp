// cpuid_cache.cpp: the cache figures of the probe. Leaf 2 lists one-byte
// descriptors, each naming a cache or TLB of a fixed size; the tables below
// translate the L2 and L3 ones. Processors that list no L2 descriptor report
// their L2 cache in extended leaf 0x80000006 instead.
#include "invscan/scanners/cpuid_cache.h"

#include "common/check.h"

int32_t descriptorCount = 0;

// The rows follow the descriptor list Intel publishes for leaf 2.
const CacheDescriptorRow kL2DescriptorTable[] = {
    {0x39, 128, 4, 64},  {0x3A, 192, 6, 64},  {0x3B, 128, 2, 64},
    {0x3C, 256, 4, 64},  {0x3D, 384, 6, 64},  {0x3E, 512, 4, 64},
    {0x41, 128, 4, 32},  {0x42, 256, 4, 32},  {0x43, 512, 4, 32},
    {0x44, 1024, 4, 32}, {0x45, 2048, 4, 32}, {0x49, 4096, 16, 64},
    {0x78, 1024, 4, 64}, {0x79, 128, 8, 64},  {0x7A, 256, 8, 64},
    {0x7B, 512, 8, 64},  {0x7C, 1024, 8, 64}, {0x7D, 2048, 8, 64},
    {0x7F, 512, 2, 64},  {0x82, 256, 8, 32},  {0x83, 512, 8, 32},
    {0x84, 1024, 8, 32}, {0x85, 2048, 8, 32}, {0x86, 512, 4, 64},
    {0x87, 1024, 8, 64}, {0, 0, 0, 0}};

// 0x49 stands in both tables: an L2 cache on most processors, an L3 cache on
// those that name an L2 cache before it.
const CacheDescriptorRow kL3DescriptorTable[] = {
    {0x22, 512, 4, 64},    {0x23, 1024, 8, 64},   {0x25, 2048, 8, 64},
    {0x29, 4096, 8, 64},   {0x46, 4096, 4, 64},   {0x47, 8192, 8, 64},
    {0x49, 4096, 16, 64},  {0x4A, 6144, 12, 64},  {0x4B, 8192, 16, 64},
    {0x4C, 12288, 12, 64}, {0x4D, 16384, 16, 64}, {0, 0, 0, 0}};

namespace {

const int kDescriptorCapacity = 256;
// A pass stores at most 16 bytes; no pass starts at or beyond this count, so
// the bytes always fit.
const int kLastPassStart = 240;
const uint32_t kNoDescriptorsBit = 0x80000000u;

const CacheDescriptorRow* findRow(const CacheDescriptorRow* table,
                                  unsigned char descriptor) {
  for (const CacheDescriptorRow* row = table; row->descriptor != 0; ++row) {
    if (row->descriptor == descriptor)
      return row;
  }
  return nullptr;
}

int associativityFromCode(uint32_t code) {
  switch (code) {
  case 6:
    return 8;
  case 8:
    return 16;
  case 15:
    return 255; // fully associative
  default:
    return static_cast<int>(code); // 1, 2 and 4 are the ways themselves
  }
}

} // namespace

void collectDescriptors(CpuIdInfo* info, uint32_t reg) {
  if (reg & kNoDescriptorsBit)
    return;
  ENABLER_ASSERT(descriptorCount >= 0 &&
                     descriptorCount + 4 <= kDescriptorCapacity,
                 "cpuid");
  for (int shift = 24; shift >= 0; shift -= 8)
    info->cacheDescriptors[descriptorCount++] =
        static_cast<unsigned char>(reg >> shift);
}

void readCacheDescriptors(CpuIdInfo* info, CpuIdSource& source) {
  CpuIdRegisters regs = source.read(2);
  // AL counts how often leaf 2 must be executed to see every descriptor.
  uint32_t passes = regs.eax & 0xFFu;
  descriptorCount = 0;
  while (passes > 0) {
    if (descriptorCount >= kLastPassStart)
      return;
    collectDescriptors(info, regs.eax & 0xFFFFFF00u);
    collectDescriptors(info, regs.ebx);
    collectDescriptors(info, regs.ecx);
    collectDescriptors(info, regs.edx);
    --passes;
    regs = source.read(2);
  }
}

void getLegacyCacheInfo(CpuIdInfo* info) {
  const CacheDescriptorRow* l2 = nullptr;
  const CacheDescriptorRow* l3 = nullptr;
  int count = descriptorCount;
  if (count > kDescriptorCapacity)
    count = kDescriptorCapacity;
  for (int i = 0; i < count; ++i) {
    unsigned char descriptor = info->cacheDescriptors[i];
    if (descriptor == 0)
      continue;
    if (!l2) {
      l2 = findRow(kL2DescriptorTable, descriptor);
      if (l2)
        continue;
    }
    if (!l3)
      l3 = findRow(kL3DescriptorTable, descriptor);
  }
  if (l2 && l2->sizeKb > 0) {
    info->L2CacheSize = l2->sizeKb;
    info->L2CacheLineSize = l2->lineSize;
    info->L2CacheAssociativity = l2->ways;
  }
  if (l3 && l3->sizeKb > 0) {
    info->L3CacheSize = l3->sizeKb;
    info->L3CacheLineSize = l3->lineSize;
    info->L3CacheAssociativity = l3->ways;
  }
}

void getExtL2CacheInfo(CpuIdInfo* info, uint32_t maxCpuidExtLevel,
                       CpuIdSource& source) {
  if (maxCpuidExtLevel < 0x80000006u)
    return;
  uint32_t ecx = source.read(0x80000006u).ecx;
  if (info->L2CacheSize > 0)
    return;
  info->L2CacheSize = static_cast<int32_t>(ecx >> 16);
  info->L2CacheLineSize = static_cast<int32_t>(ecx & 0xFFu);
  info->L2CacheAssociativity = associativityFromCode((ecx >> 12) & 0xFu);
  // Early Duron processors (signature 0x630) report 1 KB for their 64 KB L2.
  if (info->cpuSignature == 0x630u)
    info->L2CacheSize = 64;
}
