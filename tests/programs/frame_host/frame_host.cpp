// frame_host.cpp: runs the frame of either enabler around a worker that writes
// one debug line and one direct line and ends with a status the test chooses.
// Its dry run writes "DBG: dry run status <n>" instead; its help is one line
// naming the log file.
//   FRAME_HOST_PROGRAM  "vmware" for the vmware-enabler frame; otherwise the
//                       vs-enabler frame
//   FRAME_HOST_STATUS   the worker's status (decimal; 0 when unset)
#include "enabler/common/frame.h"

#include <stdlib.h>
#include <string.h>

namespace {

int chosenStatus() {
  const char* text = getenv("FRAME_HOST_STATUS");
  return text != nullptr ? atoi(text) : 0;
}

void virtualServerWorker() {
  int status = chosenStatus();
  debugLog("worker status %d\n", status);
  logText("OK: worker done\n");
  returnCode = status;
}

int vmwareWorker() {
  int status = chosenStatus();
  debugLog("worker status %d\n", status);
  logText("OK: worker done\n");
  closeLogFile();
  return status;
}

void virtualServerDryRun() {
  returnCode = chosenStatus();
  debugLog("dry run status %d\n", returnCode);
}

int vmwareDryRun() {
  int status = chosenStatus();
  debugLog("dry run status %d\n", status);
  closeLogFile();
  return status;
}

const char kHelp[] = "frame_host: the enabler frame; log en_out.txt\n";

} // namespace

int main(int argc, char** argv) {
  const char* program = getenv("FRAME_HOST_PROGRAM");
  if (program != nullptr && strcmp(program, "vmware") == 0)
    return runVMwareFrame(argc, argv,
                          {"frame_host", kHelp, vmwareWorker, vmwareDryRun});
  return runVirtualServerFrame(
      argc, argv,
      {"frame_host", kHelp, virtualServerWorker, virtualServerDryRun});
}
