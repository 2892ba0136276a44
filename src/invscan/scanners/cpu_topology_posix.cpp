// cpu_topology_posix.cpp: POSIX half of the topology reader. The kernel lists
// its online processors in "online" below /sys/devices/system/cpu and, for
// each, the package, die and core it belongs to in cpuN/topology/;
// KEP_CPU_ROOT names another directory of the same shape.
#include "invscan/scanners/cpu_topology.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

namespace {

const char kDefaultCpuRoot[] = "/sys/devices/system/cpu";

// A sysfs attribute is at most one page; anything longer is not one, for
// example a large file placed under the name, and counts as unreadable.
const size_t kMaxFileBytes = 64 * 1024;

std::string cpuRoot() {
  const char* root = getenv("KEP_CPU_ROOT");
  return root ? root : kDefaultCpuRoot;
}

bool readSmallFile(const std::string& path, std::string* content) {
  // Opened without waiting, and read only when it is a regular file: a named
  // pipe under the name would otherwise block the open or the read for ever.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0)
    return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return false;
  }
  std::string text;
  char chunk[4096];
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    text.append(chunk, static_cast<size_t>(n));
    if (text.size() > kMaxFileBytes) {
      ok = false;
      break;
    }
  }
  close(fd);
  if (ok)
    *content = text;
  return ok;
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
