// cpu_topology_win32.cpp: Win32 half of the topology reader. Windows lists
// one record per package and one per core; a core's affinity masks hold its
// logical processors. Only Win32 calls live here; the text parsing of the
// POSIX half is in cpu_topology.cpp.
#include "invscan/scanners/cpu_topology_win32.h"

#include <stddef.h>

#include <vector>

namespace {

using ExRecord = SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX;
using PlainRecord = SYSTEM_LOGICAL_PROCESSOR_INFORMATION;

// Processors may come online between the call that sizes the buffer and the
// one that fills it; a few tries cover that.
const int kAttempts = 3;

int bitCount(ULONG_PTR mask) {
  int n = 0;
  for (; mask; mask &= mask - 1)
    ++n;
  return n;
}

bool plausible(const CpuTopology& t) {
  return t.packages > 0 && t.cores >= t.packages && t.logical >= t.cores;
}

// The records of one relationship, `buffer` cut to what Windows wrote.
bool exRecords(GetLogicalProcessorInformationExFn ex,
               LOGICAL_PROCESSOR_RELATIONSHIP relation,
               std::vector<char>* buffer) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer->size());
    auto* first =
        buffer->empty() ? nullptr : reinterpret_cast<ExRecord*>(buffer->data());
    if (ex(relation, first, &size)) {
      buffer->resize(size < buffer->size() ? size : buffer->size());
      return true;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= buffer->size())
      return false;
    buffer->resize(size);
  }
  return false;
}

// Calls `visit` on each record of `buffer`; false when a record's size does
// not fit the buffer, or when `visit` refuses one.
template <class Visit>
bool forEachExRecord(const std::vector<char>& buffer, Visit visit) {
  const size_t header = offsetof(ExRecord, Processor);
  size_t offset = 0;
  while (offset < buffer.size()) {
    if (buffer.size() - offset < header)
      return false;
    const auto* record = reinterpret_cast<const ExRecord*>(&buffer[offset]);
    if (record->Size < header || record->Size > buffer.size() - offset)
      return false;
    if (!visit(*record))
      return false;
    offset += record->Size;
  }
  return true;
}

// The Ex form: a package or core record lists one affinity mask for each
// processor group it spans, so hosts with more than 64 logical processors
// are counted whole.
bool countEx(GetLogicalProcessorInformationExFn ex, CpuTopology* topology) {
  std::vector<char> packages, cores;
  if (!exRecords(ex, RelationProcessorPackage, &packages) ||
      !exRecords(ex, RelationProcessorCore, &cores))
    return false;
  CpuTopology t;
  auto countPackage = [&](const ExRecord& r) {
    if (r.Relationship == RelationProcessorPackage)
      ++t.packages;
    return true;
  };
  auto countCore = [&](const ExRecord& r) {
    if (r.Relationship != RelationProcessorCore)
      return true;
    size_t masks = r.Processor.GroupCount;
    if (r.Size < offsetof(ExRecord, Processor.GroupMask) +
                     masks * sizeof(GROUP_AFFINITY))
      return false;
    ++t.cores;
    const GROUP_AFFINITY* mask = r.Processor.GroupMask;
    for (size_t g = 0; g < masks; ++g)
      t.logical += bitCount(mask[g].Mask);
    return true;
  };
  bool ok = forEachExRecord(packages, countPackage) &&
            forEachExRecord(cores, countCore);
  if (!ok || !plausible(t))
    return false;
  *topology = t;
  return true;
}

// The plain form: fixed-size records of the caller's processor group.
bool countPlain(GetLogicalProcessorInformationFn plain, CpuTopology* topology) {
  std::vector<PlainRecord> records;
  bool filled = false;
  for (int attempt = 0; attempt < kAttempts && !filled; ++attempt) {
    DWORD size = static_cast<DWORD>(records.size() * sizeof(PlainRecord));
    if (plain(records.empty() ? nullptr : records.data(), &size)) {
      size_t written = size / sizeof(PlainRecord);
      records.resize(written < records.size() ? written : records.size());
      filled = true;
    } else if (GetLastError() == ERROR_INSUFFICIENT_BUFFER &&
               size > records.size() * sizeof(PlainRecord)) {
      records.resize((size + sizeof(PlainRecord) - 1) / sizeof(PlainRecord));
    } else {
      return false;
    }
  }
  if (!filled)
    return false;
  CpuTopology t;
  for (const PlainRecord& r : records) {
    if (r.Relationship == RelationProcessorPackage) {
      ++t.packages;
    } else if (r.Relationship == RelationProcessorCore) {
      ++t.cores;
      t.logical += bitCount(r.ProcessorMask);
    }
  }
  if (!plausible(t))
    return false;
  *topology = t;
  return true;
}

} // namespace

bool readCpuTopologyWith(GetLogicalProcessorInformationExFn ex,
                         GetLogicalProcessorInformationFn plain,
                         CpuTopology* topology) {
  return (ex && countEx(ex, topology)) ||
         (plain && countPlain(plain, topology));
}

bool readCpuTopology(CpuTopology* topology) {
  HMODULE kernel32 = GetModuleHandleA("kernel32");
  if (!kernel32)
    return false;
  auto ex = reinterpret_cast<GetLogicalProcessorInformationExFn>(
      reinterpret_cast<void*>(
          GetProcAddress(kernel32, "GetLogicalProcessorInformationEx")));
  auto plain = reinterpret_cast<GetLogicalProcessorInformationFn>(
      reinterpret_cast<void*>(
          GetProcAddress(kernel32, "GetLogicalProcessorInformation")));
  return readCpuTopologyWith(ex, plain, topology);
}
