// vs_model_floor: loads the simulated Virtual Server's model that
// KEP_VS_MODEL names, as vs-enabler's connection does, and ends. Its peak
// memory is what the simulated server itself holds for a model of that
// size, which a real Virtual Server would hold in its own process; the
// scaling figures take it out of vs-enabler's peak to show the enabler's own.
#include "enabler/MSVirtualServer/vs_simulated.h"

#include <stdlib.h>

int main() {
  VsVirtualServerObject* server = nullptr;
  if (vsCreateSimulatedServer(getenv(kVsModelVariable), nullptr, &server) !=
          kVsResultOk ||
      !server)
    return 1;
  server->Release();
  return 0;
}
