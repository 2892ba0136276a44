// worked_cpuid_report.h: one well-formed cpuid report, which the record
// builder's tests, vs-enabler's worker tests (through the stand-in cpuid
// program) and the hostile cpuid program's "report" mode share. The two forms
// of the record differ on it: vs-enabler takes cores and logical processors
// per core from the active counts (4 and 8 / 4), vmware-enabler from the
// CPUID group (6 and 1); both give two packages, GenuineIntel, family 6,
// type 0, 2400 MHz and 64 bits.
#ifndef ENABLER_TESTS_WORKED_CPUID_REPORT_H
#define ENABLER_TESTS_WORKED_CPUID_REPORT_H

inline constexpr char kWorkedCpuidReport[] = "1.0 0 cpuid report\n"
                                             "(cpuid\n"
                                             "ActivePackageCount:i=2\n"
                                             "(Processor\n"
                                             "Manufacturer:s=GenuineIntel\n"
                                             "Family:s=6\n"
                                             "Type:s=0\n"
                                             "ActiveCoreCount:i=4\n"
                                             "ActiveProcCount:i=8\n"
                                             "CpuClockMHz:i=2400\n"
                                             "(Features\n"
                                             "LM:i=1\n"
                                             ")\n"
                                             "(CPUID\n"
                                             "CorePerPackageCount:i=6\n"
                                             "HtPerCoreCount:i=1\n"
                                             ")\n"
                                             ")\n"
                                             ")\n";

#endif
