// exit_status.h: the exit statuses of both enablers, part of their contract
// with the inventory product.
#ifndef ENABLER_COMMON_EXIT_STATUS_H
#define ENABLER_COMMON_EXIT_STATUS_H

// vs-enabler (the value of returnCode at the end of the run).
enum : int {
  kVsOk = 0,
  kVsUsage = 1,          ///< command line not accepted
  kVsZeroCapacity = 1,   ///< a running machine counted 0 packages
  kVsCapacityUnread = 3, ///< a machine's cpu cap could not be read
  kVsSetFailed = 5,      ///< a parameter set or the probe failed
  kVsNotReachable = 6,   ///< Virtual Server, its name or version
  kVsNoMachineList = 7,  ///< the machine collection or its count
};

// vmware-enabler (the worker's result).
enum : int {
  kVmwOk = 0,
  kVmwNoIdentity = 2,    ///< the node identity could not be read
  kVmwScriptFailed = 5,  ///< retrieve.pl ended with 5 or an unknown status
  kVmwScriptStatus6 = 6, ///< retrieve.pl ended with 6
  kVmwNotInstalled = 7,  ///< usage, installation, PATH, or status 7
  kVmwUsage = 7,
};

#endif
