// vs_publish.h: the worker of vs-enabler. It connects to Virtual Server, reads
// the host's identity and processor record once, and sets the KEP_*
// parameters on every running virtual machine.
#ifndef ENABLER_VS_VS_PUBLISH_H
#define ENABLER_VS_VS_PUBLISH_H

#include "enabler/MSVirtualServer/vs_connection.h"

struct NodeIdentity;

/// Does the whole job once. Writes its trace to the log (when verbose) and
/// each failure's status to returnCode; the last failure decides.
void publishParameters();

/// What the worker takes from outside itself. publishParameters() uses the
/// real ones; tests put a simulated server or a fixed host in their place.
struct VsPublishServices {
  VsResult (*connect)(const char* serverName, VsVirtualServerObject** server);
  unsigned long (*disconnect)(VsVirtualServerObject* server);
  bool (*nodeIdentity)(NodeIdentity* identity);
  int (*processorRecord)(char** record, int* packageCount);
};

/// vsConnect, vsDisconnect, getNodeIdentity and getInfoFromCPUID.
VsPublishServices vsDefaultPublishServices();

/// publishParameters() with other services.
void publishParametersWith(const VsPublishServices& services);

#endif
