// cpuid_details.h: what cpuprobe shows of a processor beyond the probe's
// record: the family, model and stepping as the vendors number them, and every
// cache the processor describes. Nothing here changes the record or anything
// the enablers count or publish; the record keeps its own figures.
#ifndef ENABLER_SCANNERS_CPUID_DETAILS_H
#define ENABLER_SCANNERS_CPUID_DETAILS_H

#include "invscan/scanners/cpuid.h"

#include <stdint.h>

#include <vector>

/// The family, model and stepping as the vendors' manuals and the operating
/// systems number them, from the record's cpuSignature. The family is the
/// base family, plus the extended family when the base is 0xF. The model is
/// the base model, plus the extended model times 16: on AMD processors (and
/// Hygon's, which follow AMD's numbering) when the base family is 0xF, on
/// every other vendor's when it is 6 or 0xF (Intel's rule).
struct DisplaySignature {
  int32_t family;
  int32_t model;
  int32_t stepping;
};
DisplaySignature displaySignature(const CpuIdInfo& info);

enum class CacheType { kData, kInstruction, kUnified };

/// "data", "instruction" or "unified".
const char* cacheTypeName(CacheType type);

/// One cache as the processor describes it.
struct CacheLevel {
  int32_t level;
  CacheType type;
  uint64_t sizeBytes;
  int32_t ways;          ///< 0: not reported
  bool fullyAssociative; ///< any line in any way; `ways` may still be given
  int32_t lineSize;      ///< bytes; 0: not reported
  int32_t sharedBy;      ///< logical processors sharing it; 0: not reported
};

/// Every cache a processor describes, and the leaves the list comes from.
struct CacheList {
  /// "leaf 4", "leaf 0x8000001D", "leaves 0x80000005 and 0x80000006",
  /// "leaf 2 and leaf 0x80000006", or "" when the list is empty.
  const char* source;
  std::vector<CacheLevel> levels;
  /// The sharing counts the APIC IDs reserved for the processors that share
  /// a cache (leaf 4), which may be more than there are, rather than the
  /// processors themselves (leaf 0x8000001D).
  bool sharingIsAnUpperBound = false;
};

/// The caches of the processor that gave `info` (a probe that returned 0),
/// read again from `source`. The deterministic cache leaf comes first:
/// leaf 0x8000001D on AMD and Hygon processors whose topology-extensions
/// bit (leaf 0x80000001 ECX bit 22) is set, leaf 4 on the others from basic
/// level 4 on; it lists each cache at a sub-leaf of its own, up to the first
/// null entry. When it lists none, the legacy leaves stand in: 0x80000005 and
/// 0x80000006 on AMD and Hygon processors, and elsewhere the L2 and L3
/// figures of the record (leaf-2 descriptors, else leaf 0x80000006).
CacheList listCaches(const CpuIdInfo& info, CpuIdSource& source);

/// The ways of an associativity code of leaf 0x80000006 on AMD processors
/// (the L2 code in ECX bits 15:12, the L3 code in EDX bits 15:12). 0 for a
/// code that names no number of ways: 0 (no cache), 7 (reserved), 9 (the
/// figures are in leaf 0x8000001D) and 0xF (fully associative).
int32_t amdAssociativityWays(uint32_t code);

#endif
