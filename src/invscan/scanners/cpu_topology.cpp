// cpu_topology.cpp: the parts of the topology reader that need no operating
// system: the kernel's CPU lists and topology ids as text.
#include "invscan/scanners/cpu_topology.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Far above any kernel's CPU limit; it bounds the work a garbled range such
// as "0-4000000000" could ask for.
const long kMaxCpuNumber = 65535;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Digits at `*p`, at most up to `limit`; false when there are none or the
// number passes the limit.
bool readNumber(const char** p, long limit, long* value) {
  if (!isDigit(**p))
    return false;
  long result = 0;
  for (; isDigit(**p); ++*p) {
    int digit = **p - '0';
    if (result > (limit - digit) / 10)
      return false;
    result = result * 10 + digit;
  }
  *value = result;
  return true;
}

// The end of the text proper: a single trailing line end is allowed.
const char* contentEnd(const std::string& text) {
  const char* end = text.c_str() + text.size();
  if (!text.empty() && end[-1] == '\n')
    --end;
  return end;
}

} // namespace

bool parseCpuList(const std::string& text, std::set<int>* cpus) {
  const char* p = text.c_str();
  const char* end = contentEnd(text);
  std::vector<std::pair<long, long>> ranges;
  while (p < end) {
    long first, last;
    if (!readNumber(&p, kMaxCpuNumber, &first))
      return false;
    last = first;
    if (*p == '-') {
      ++p;
      if (!readNumber(&p, kMaxCpuNumber, &last) || last < first)
        return false;
    }
    ranges.emplace_back(first, last);
    if (p == end)
      break;
    if (*p != ',' || ++p == end)
      return false;
  }
  if (p != end || ranges.empty())
    return false;
  // The kernel lists each processor once, in order; a list that repeats wide
  // ranges must not cost a walk through each of them. In order, each number
  // is added once, so the work is bounded by the distinct numbers.
  std::sort(ranges.begin(), ranges.end());
  std::set<int> found;
  long next = 0; // the numbers below are in `found` or in no range
  for (const std::pair<long, long>& range : ranges) {
    for (long cpu = range.first > next ? range.first : next;
         cpu <= range.second; ++cpu)
      found.insert(found.end(), static_cast<int>(cpu));
    if (range.second >= next)
      next = range.second + 1;
  }
  cpus->insert(found.begin(), found.end());
  return true;
}

bool parseTopologyId(const std::string& text, long* id) {
  const char* p = text.c_str();
  long value;
  // Ids are small numbers; the limit only keeps the arithmetic in range.
  if (!readNumber(&p, 0x7FFFFFFF, &value) || p != contentEnd(text))
    return false;
  *id = value;
  return true;
}
