// cpu_topology.cpp: the parts of the topology reader that need no operating
// system: the kernel's CPU lists and topology ids as text.
#include "invscan/scanners/cpu_topology.h"

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
  std::set<int> found;
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
    for (long cpu = first; cpu <= last; ++cpu)
      found.insert(static_cast<int>(cpu));
    if (p == end)
      break;
    if (*p != ',' || ++p == end)
      return false;
  }
  if (p != end || found.empty())
    return false;
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
