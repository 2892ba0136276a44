// cpuid_system.h: the one fact the scanner asks of the operating system, the
// number of logical processors; each platform file defines it.
#ifndef ENABLER_SCANNERS_CPUID_SYSTEM_H
#define ENABLER_SCANNERS_CPUID_SYSTEM_H

/// The number of logical processors the operating system reports.
int systemProcessorCount();

#endif
