// enablerh.cpp: the main module of vmware-enabler: the shared frame around
// the retrieval run.
#include "enabler/common/frame.h"
#include "retrieve_script.h"

int enablerMain(int argc, char** argv) {
  return runVMwareFrame(argc, argv, runRetrieveScript);
}

int main(int argc, char** argv) {
  return enablerMain(argc, argv);
}
