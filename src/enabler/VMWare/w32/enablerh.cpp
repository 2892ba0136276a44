// enablerh.cpp: the main module of vmware-enabler: the shared frame around
// the retrieval run.
#include "enabler/common/frame.h"
#include "retrieve_script.h"

namespace {

const char kHelp[] =
    "Usage: vmware-enabler [-v] [-version]\n"
    "       vmware-enabler --dry-run [-v] [-version]\n"
    "       vmware-enabler --help | --version\n"
    "\n"
    "Finds VMware Server (or GSX Server) and the VmPerl Scripting API in the\n"
    "registry, reads this host's identity, processor packages and processor\n"
    "record, and runs VmPerl's perl.exe with retrieve.pl from the current\n"
    "folder, handing them over. The inventory product starts it with no\n"
    "arguments.\n"
    "\n"
    "Options:\n"
    "  -v          also write the log file en_out.txt in the current folder\n"
    "  -version    write the version banner to standard error first\n"
    "  --dry-run   do every step up to the start of the script, but start\n"
    "              nothing; print on standard output, one a line, the\n"
    "              interpreter, each argument, the command line and the\n"
    "              PATH and PHYSICAL_PROCESSOR it would pass\n"
    "  --help, -h, -?, /?\n"
    "              print this help and end with 0\n"
    "  --version   print the version banner and the release version and end\n"
    "              with 0\n"
    "  --help and --version do not do the job; --dry-run takes -v and\n"
    "  -version, each once, and nothing else.\n"
    "\n"
    "Exit status:\n"
    "  0  retrieve.pl ended with 0 (a dry run: every step before it worked)\n"
    "  2  the node identity could not be read\n"
    "  5  retrieve.pl ended with 5 or another status than 0, 6 and 7, or\n"
    "     could not be started\n"
    "  6  retrieve.pl ended with 6\n"
    "  7  command line not accepted, VMware or VmPerl not found, the VmPerl\n"
    "     folder unusable, PATH not set, or retrieve.pl ended with 7\n"
    "\n"
    "Log: en_out.txt in the current folder, replaced by each run with -v.\n"
    "The cpuid program (cpuid.exe) must lie beside vmware-enabler. The\n"
    "administrator's guide (ADMIN-GUIDE.txt) tells the rest.\n";

} // namespace

int enablerMain(int argc, char** argv) {
  return runVMwareFrame(
      argc, argv,
      {"vmware-enabler", kHelp, runRetrieveScript, runRetrieveScriptDryRun});
}

int main(int argc, char** argv) {
  return enablerMain(argc, argv);
}
