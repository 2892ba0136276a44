// host_report_win32.cpp: Win32 half of the cpuid program's measurements. The
// topology comes from the logical processor information, the clock from the
// processor's description in the registry.
#include "host_report.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <vector>

namespace {

int bitCount(KAFFINITY mask) {
  int n = 0;
  for (; mask; mask &= mask - 1)
    ++n;
  return n;
}

// The records of one relationship. The Ex form covers every processor group;
// the plain form would see only the caller's group (at most 64, and 32 in a
// 32-bit process on a 64-bit system).
bool relationRecords(LOGICAL_PROCESSOR_RELATIONSHIP relation,
                     std::vector<char>* buffer) {
  DWORD size = 0;
  GetLogicalProcessorInformationEx(relation, nullptr, &size);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
    return false;
  buffer->resize(size);
  auto* first = reinterpret_cast<SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX*>(
      buffer->data());
  if (!GetLogicalProcessorInformationEx(relation, first, &size))
    return false;
  buffer->resize(size);
  return true;
}

template <class Visit>
void forEachRecord(const std::vector<char>& buffer, Visit visit) {
  size_t offset = 0;
  while (offset + sizeof(DWORD) * 2 <= buffer.size()) {
    auto* record =
        reinterpret_cast<const SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX*>(
            buffer.data() + offset);
    if (record->Size == 0)
      break;
    visit(*record);
    offset += record->Size;
  }
}

} // namespace

bool readHostTopology(const std::string&, HostTopology* topology) {
  // One RelationProcessorPackage record per package; one
  // RelationProcessorCore record per core, whose group masks hold its logical
  // processors.
  std::vector<char> packages, cores;
  if (!relationRecords(RelationProcessorPackage, &packages) ||
      !relationRecords(RelationProcessorCore, &cores))
    return false;
  HostTopology t;
  forEachRecord(packages,
                [&](const SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX& r) {
                  if (r.Relationship == RelationProcessorPackage)
                    ++t.packages;
                });
  forEachRecord(cores, [&](const SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX& r) {
    if (r.Relationship != RelationProcessorCore)
      return;
    ++t.cores;
    for (WORD g = 0; g < r.Processor.GroupCount; ++g)
      t.logical += bitCount(r.Processor.GroupMask[g].Mask);
  });
  if (t.packages == 0 || t.cores == 0 || t.logical == 0)
    return false;
  *topology = t;
  return true;
}

int readHostClockMHz() {
  // "~MHz" of the first processor's description: the rated clock that
  // Windows determined at start.
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                    "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0,
                    KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return 0;
  DWORD mhz = 0;
  DWORD type = 0;
  DWORD size = sizeof mhz;
  LONG status = RegQueryValueExA(key, "~MHz", nullptr, &type,
                                 reinterpret_cast<BYTE*>(&mhz), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_DWORD)
    return 0;
  return static_cast<int>(mhz);
}

void setBinaryOutput() {
  // Line feeds go out as they are; the report's reader sees LF line ends.
  _setmode(_fileno(stdout), _O_BINARY);
}
