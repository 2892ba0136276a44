// retrieve_script.h: the worker of vmware-enabler. It finds VMware and
// VmPerl, counts the host's physical packages, reads the node identity and
// runs the VmPerl script retrieve.pl with them, mapping its exit status.
#ifndef ENABLER_VMWARE_RETRIEVE_SCRIPT_H
#define ENABLER_VMWARE_RETRIEVE_SCRIPT_H

/// The whole job once: the exit status of vmware-enabler (exit_status.h).
/// Writes its log lines in verbose mode and closes the log before it returns
/// or starts the script.
int runRetrieveScript();

#endif
