// vs_connection_posix.cpp: the native half of the Virtual Server connection.
// There is no COM natively: the application object is the simulated Virtual
// Server, made from the model file that KEP_VS_MODEL names.
#include "enabler/MSVirtualServer/vs_connection.h"

#include "enabler/MSVirtualServer/vs_simulated.h"

#include <stdio.h>
#include <stdlib.h>

namespace {

/// At the end of the process, reports simulated objects that were never
/// released to the record file.
struct LeakReport {
  ~LeakReport() { vsRecordLeakedObjects(getenv(kVsParametersVariable)); }
} leakReport;

} // namespace

VsResult vsConnect(const char* /*serverName*/, VsVirtualServerObject** server) {
  if (!server)
    return kVsInvalidArg;
  *server = nullptr;
  // The simulated server is always this machine's; a server name changes
  // nothing.
  const char* model = getenv(kVsModelVariable);
  VsResult result =
      vsCreateSimulatedServer(model, getenv(kVsParametersVariable), server);
  if (vsFailed(result) || !*server) {
    // The stand-in says why, where a person sees it; the log stays as it is.
    std::string problem = vsModelProblem(model);
    if (!problem.empty())
      fprintf(stderr, "simulated Virtual Server: %s\n", problem.c_str());
    return result;
  }
  std::wstring version;
  return (*server)->get_Version(&version);
}

unsigned long vsDisconnect(VsVirtualServerObject* server) {
  return server ? server->Release() : 0;
}
