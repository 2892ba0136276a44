// vs_publish.h: the worker of vs-enabler. It connects to Virtual Server, reads
// the host's identity and processor record once, and sets the KEP_*
// parameters on every running virtual machine.
#ifndef ENABLER_VS_VS_PUBLISH_H
#define ENABLER_VS_VS_PUBLISH_H

#include "enabler/MSVirtualServer/vs_connection.h"
#include "invscan/scanners/cpuid.h"

#include <functional>

struct NodeIdentity;

/// Does the whole job once. Writes its trace to the log (when verbose) and
/// each failure's status to returnCode; the last failure decides.
void publishParameters();

/// What the worker takes from outside itself. publishParameters() uses the
/// real ones; tests put a simulated server or a fixed host in their place.
struct VsPublishServices {
  std::function<VsResult(const char* serverName,
                         VsVirtualServerObject** server)>
      connect;
  std::function<unsigned long(VsVirtualServerObject* server)> disconnect;
  std::function<bool(NodeIdentity* identity)> nodeIdentity;
  /// As getInfoFromCPUID: the record text (freed with free()) and the count.
  std::function<int(char** record, int* packageCount)> processorRecord;
  /// The CPUID readings and the system's counts of the node capacity.
  ProcessorServices processor;
};

/// vsConnect, vsDisconnect, getNodeIdentity, getInfoFromCPUID and the
/// machine's processor.
VsPublishServices vsDefaultPublishServices();

/// publishParameters() with other services.
void publishParametersWith(const VsPublishServices& services);

#endif
