// vs_publish.h: the worker of vs-enabler. It connects to Virtual Server, reads
// the host's identity and processor record once, and sets the KEP_*
// parameters on every running virtual machine.
#ifndef ENABLER_VS_VS_PUBLISH_H
#define ENABLER_VS_VS_PUBLISH_H

#include "common/platform/system_error.h"
#include "enabler/MSVirtualServer/vs_connection.h"
#include "enabler/common/node_identity.h"
#include "enabler/common/processor_record.h"
#include "invscan/scanners/cpuid.h"

#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

/// Does the whole job once. Writes its trace to the log (when verbose) and
/// each failure's status to returnCode; the last failure decides.
void publishParameters();

/// What the worker takes from outside itself. publishParameters() uses the
/// real ones; tests put a simulated server and a host of their making (a
/// fixed identity, a stand-in cpuid program) in their place.
struct VsPublishServices {
  std::function<VsResult(const char* serverName,
                         VsVirtualServerObject** server)>
      connect;
  std::function<unsigned long(VsVirtualServerObject* server)> disconnect;
  /// getNodeIdentity: the identity, and why it or a field of it could not
  /// be read.
  std::function<bool(NodeIdentity* identity, IdentityProblems* problems)>
      nodeIdentity;
  /// Where the processor record finds the cpuid program.
  CpuidProgramSite cpuidProgram;
  /// The CPUID readings and the system's counts of the node capacity.
  ProcessorServices processor;
  /// Unset in a real run, which sets each parameter with SetParameter on the
  /// machine's guest parameter object. Set for a dry run: each parameter goes
  /// here instead, as if it had been set, and the log says it would be set.
  std::function<void(const std::wstring& machine, const char* name,
                     const std::wstring& value)>
      parameterSink;
};

/// vsConnect, vsDisconnect, getNodeIdentity, the cpuid program beside the
/// enabler and the machine's processor.
VsPublishServices vsDefaultPublishServices();

/// publishParameters() with other services.
void publishParametersWith(const VsPublishServices& services);

/// The default services with a sink that writes each parameter to `out` as
/// one line: machine, a tab, parameter name, a tab, value (the form of the
/// simulated server's record; texts as the log writes them). The reason why
/// the cpuid program could not be run goes to `*cpuidError` (when not null).
VsPublishServices vsDryRunPublishServices(FILE* out, SystemError* cpuidError);

/// The dry run of vs-enabler: connects and walks the machines as a real run
/// does, writes every parameter it would set to standard output and sets
/// none; the reason why the cpuid program could not be run goes to standard
/// error. returnCode is what the run would have left.
void publishParametersDryRun();

#endif
