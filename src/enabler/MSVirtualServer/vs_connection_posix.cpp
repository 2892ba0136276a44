// vs_connection_posix.cpp: the native half of the Virtual Server connection.
// There is no COM natively: the application object is the simulated Virtual
// Server, made from the model file that KEP_VS_MODEL names.
#include "enabler/MSVirtualServer/vs_connection.h"

#include "common/platform/environment.h"
#include "enabler/MSVirtualServer/vs_simulated.h"

#include <stdio.h>

namespace {

/// The path a variable names; null when it is not set.
const char* pathOf(const std::optional<std::string>& value) {
  return value ? value->c_str() : nullptr;
}

/// At the end of the process, reports simulated objects that were never
/// released to the record file.
struct LeakReport {
  ~LeakReport() {
    vsRecordLeakedObjects(pathOf(getEnvironment(kVsParametersVariable)));
  }
} leakReport;

} // namespace

VsResult vsConnect(const char* /*serverName*/, VsVirtualServerObject** server) {
  if (!server)
    return kVsInvalidArg;
  *server = nullptr;
  // The simulated server is always this machine's; a server name changes
  // nothing.
  std::optional<std::string> model = getEnvironment(kVsModelVariable);
  std::optional<std::string> record = getEnvironment(kVsParametersVariable);
  VsResult result =
      vsCreateSimulatedServer(pathOf(model), pathOf(record), server);
  if (vsFailed(result) || !*server) {
    // The stand-in says why, where a person sees it; the log stays as it is.
    std::string problem = vsModelProblem(pathOf(model));
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
