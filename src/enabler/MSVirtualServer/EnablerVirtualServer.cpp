// EnablerVirtualServer.cpp: the main module of vs-enabler. The frame takes the
// command line, the log and the exit status; the worker does the job.
#include "enabler/MSVirtualServer/vs_publish.h"
#include "enabler/common/frame.h"

int enablerMain(int argc, char** argv) {
  return runVirtualServerFrame(argc, argv, publishParameters);
}

int main(int argc, char** argv) {
  return enablerMain(argc, argv);
}
