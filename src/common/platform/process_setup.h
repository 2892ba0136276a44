// process_setup.h: what a program that runs unattended sets up about its own
// process before it does anything else. No OS header here.
#ifndef ENABLER_PLATFORM_PROCESS_SETUP_H
#define ENABLER_PLATFORM_PROCESS_SETUP_H

/// Makes the process independent of what its caller left it. Natively: each
/// of the descriptors 0, 1 and 2 that is closed is opened on the null device
/// (so no file the program opens later takes its number), SIGCHLD gets its
/// default action (a caller that ignores it would have the system reap the
/// children before they can be waited for) and is not blocked (a caller that
/// blocks it would keep released children from being reaped), and SIGPIPE
/// is ignored (a write to a pipe without reader fails instead of ending the
/// program). On Windows: the error mode stops the system's dialogs for
/// crashes, for missing components and for drives without media, for the
/// program and for the children that inherit the mode. Call it first thing;
/// calling it again changes nothing.
void prepareUnattendedProcess();

#endif
