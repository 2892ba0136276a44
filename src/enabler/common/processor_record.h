// processor_record.h: the physical-processor record built from the report of
// the product's cpuid program, which lies beside the enabler's executable.
#ifndef ENABLER_COMMON_PROCESSOR_RECORD_H
#define ENABLER_COMMON_PROCESSOR_RECORD_H

/// vs-enabler form. On success `*record` receives a new copy of the record
/// text (the caller frees it with free()) and `*packageCount` its package
/// count; neither is written otherwise. 1 when the record was built, else 0.
int getInfoFromCPUID(char** record, int* packageCount);

/// vmware-enabler form: sets PHYSICAL_PROCESSOR in the process environment.
/// 1 when the record was built and the variable set, else 0.
int getInfoFromCPUID();

#endif
