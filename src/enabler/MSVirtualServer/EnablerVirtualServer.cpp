// EnablerVirtualServer.cpp: the main module of vs-enabler. The frame takes the
// command line, the log and the exit status; the worker does the job.
#include "enabler/MSVirtualServer/vs_publish.h"
#include "enabler/common/frame.h"

namespace {

const char kHelp[] =
    "Usage: vs-enabler [-v] [-version]\n"
    "       vs-enabler --dry-run [-v] [-version]\n"
    "       vs-enabler --help | --version\n"
    "\n"
    "Publishes this Microsoft Virtual Server host's identity, processor\n"
    "capacity and processor record as KEP_* parameters on every running\n"
    "virtual machine. The inventory product starts it with no arguments.\n"
    "\n"
    "Options:\n"
    "  -v          also write the log file en_out.txt in the current folder\n"
    "  -version    write the version banner to standard error first\n"
    "  --dry-run   read everything a run reads but set no parameter; print\n"
    "              each one it would set on standard output, one a line:\n"
    "              machine, tab, parameter, tab, value\n"
    "  --help, -h, -?, /?\n"
    "              print this help and end with 0\n"
    "  --version   print the version banner and the release version and end\n"
    "              with 0\n"
    "  --help and --version do not do the job; --dry-run takes -v and\n"
    "  -version, each once, and nothing else.\n"
    "\n"
    "Exit status (the last failure of the run decides):\n"
    "  0  no failure recorded\n"
    "  1  command line not accepted, or a running machine counted 0\n"
    "     processor packages\n"
    "  3  a machine's cpu cap could not be read\n"
    "  5  a parameter could not be set, or the processor probe failed\n"
    "  6  Virtual Server not reached, or its name or version not read\n"
    "  7  the list of virtual machines or its count could not be read\n"
    "\n"
    "Log: en_out.txt in the current folder, replaced by each run with -v.\n"
    "The cpuid program (cpuid.exe) must lie beside vs-enabler. The\n"
    "administrator's guide (ADMIN-GUIDE.txt) tells the rest.\n";

} // namespace

int enablerMain(int argc, char** argv) {
  return runVirtualServerFrame(
      argc, argv,
      {"vs-enabler", kHelp, publishParameters, publishParametersDryRun});
}

int main(int argc, char** argv) {
  return enablerMain(argc, argv);
}
