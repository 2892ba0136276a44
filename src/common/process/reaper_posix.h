// reaper_posix.h: children released while they still run are reaped as soon
// as they end, so that none stays a zombie for the rest of a long run
// (vmware-enabler waits for its script long after its cpuid child was
// released). POSIX only.
#ifndef ENABLER_PROCESS_REAPER_POSIX_H
#define ENABLER_PROCESS_REAPER_POSIX_H

#include <sys/types.h>

/// Leaves `pid`, a released child that has not been waited for, to a SIGCHLD
/// handler, which is installed where SIGCHLD has its default action. Where
/// the signal is ignored the system reaps the child itself; where another
/// handler is in place the child is left to it. Only children passed here are
/// ever reaped, so no other wait of the program loses its child. At most 64
/// children wait at a time; one more is left as it is.
void reapWhenEnded(pid_t pid);

#endif
