// cpu_topology_posix.cpp: POSIX half of the topology reader. The kernel lists
// its online processors in "online" below /sys/devices/system/cpu and, for
// each, the package, die and core it belongs to in cpuN/topology/;
// KEP_CPU_ROOT names another directory of the same shape.
#include "invscan/scanners/cpu_topology.h"

#include "common/platform/environment.h"
#include "common/platform/files.h"

#include <tuple>

namespace {

const char kDefaultCpuRoot[] = "/sys/devices/system/cpu";

// A sysfs attribute is at most one page; anything longer is not one, for
// example a large file placed under the name, and counts as unreadable.
const size_t kMaxFileBytes = 64 * 1024;

std::string cpuRoot() {
  return getEnvironment("KEP_CPU_ROOT").value_or(kDefaultCpuRoot);
}

// Read only when it is a regular file: a named pipe under the name would
// otherwise block the open or the read for ever.
bool readSmallFile(const std::string& path, std::string* content) {
  return readRegularFile(path, kMaxFileBytes, content);
}

bool readId(const std::string& path, long* id) {
  std::string text;
  return readSmallFile(path, &text) && parseTopologyId(text, id);
}

} // namespace

bool readCpuTopology(CpuTopology* topology) {
  const std::string root = cpuRoot();
  std::string online;
  std::set<int> cpus;
  if (!readSmallFile(root + "/online", &online) || !parseCpuList(online, &cpus))
    return false;
  // Offline processors are not in the list, and their topology files are
  // not read: a package whose processors are all offline is not counted.
  std::set<long> packages;
  std::set<std::tuple<long, long, long>> cores;
  for (int cpu : cpus) {
    std::string dir = root + "/cpu" + std::to_string(cpu) + "/topology/";
    long package, core;
    if (!readId(dir + "physical_package_id", &package) ||
        !readId(dir + "core_id", &core))
      return false;
    // Core ids repeat in each die of a package; die_id is absent before
    // Linux 5.3, and then the package has one die.
    long die = 0;
    readId(dir + "die_id", &die);
    packages.insert(package);
    cores.insert(std::make_tuple(package, die, core));
  }
  topology->packages = static_cast<int>(packages.size());
  topology->cores = static_cast<int>(cores.size());
  topology->logical = static_cast<int>(cpus.size());
  return true;
}
