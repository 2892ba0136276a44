// vtdump.cpp: reads a variable-tree document with the enablers' reader and
// prints what the reader made of it (see vtree_dump.h), so a person can see
// why a report is not understood; with --record also the processor record
// each enabler would build from it. Reads standard input, or a file that is
// named. Ends with 0 whatever the document held, and with 2 when it could
// not be read.
#include "common/platform/files.h"
#include "common/platform/standard_streams.h"
#include "common/platform/system_error.h"
#include "common/process/child_process.h"
#include "common/program_info.h"
#include "common/vartree/vtree.h"
#include "common/vartree/vtree_dump.h"
#include "enabler/common/frame.h"
#include "enabler/common/processor_record.h"

#include <stdio.h>
#include <string.h>

#include <memory>
#include <string>

namespace {

const int kStatusOk = 0;
const int kStatusFailed = 2;

/// A report file may be as large as this. It is read a piece at a time, so
/// only the document made of it is held.
const size_t kFileMax = size_t(1) << 30;

const char kUsage[] = "usage: vtdump [--record] [FILE]\n";

const char kBanner[] = "vtdump: KEP Enabler diagnostics, the variable-tree "
                       "reader\n";

const char kHelp[] =
    "Usage: vtdump [--record] [FILE]\n"
    "       cpuid.exe | vtdump [--record]\n"
    "       vtdump --help | --version\n"
    "\n"
    "Reads a report of the cpuid program (or any variable-tree document)\n"
    "with the enablers' own reader and prints what the reader made of it,\n"
    "one item a line: status, text, root, then each group and value.\n"
    "Without FILE it reads standard input; on a console it does not wait\n"
    "for typing but says how to give it a report.\n"
    "\n"
    "Options:\n"
    "  --record    also print the processor record that vs-enabler and\n"
    "              vmware-enabler would build from the report, and each value\n"
    "              they would miss with the default they would take:\n"
    "              record <program> <record or none>\n"
    "              missing <program> <group.value> <default>\n"
    "  --help, -h, -?, /?\n"
    "              print this help and end with 0\n"
    "  --version   print the version and end with 0\n"
    "\n"
    "Exit status: 0 when a document was read (whatever it held); 2 for a\n"
    "wrong command line, a file that cannot be read, or a console without\n"
    "a file.\n"
    "It writes no log; the enablers write theirs to en_out.txt.\n";

const char kConsoleHint[] =
    "vtdump: standard input is the console; give a report as a file\n"
    "(vtdump FILE) or through a pipe (cpuid.exe | vtdump); vtdump --help "
    "says more\n";

/// Standard input as the reader's stream. A read that fails ends the stream
/// as its end would, and is kept: a directory or a closed descriptor is no
/// empty report.
class StdinReader : public ByteReader {
public:
  int read(char* buffer, int count) override {
    size_t got = count > 0 ? fread(buffer, 1, size_t(count), stdin) : 0;
    if (int(got) < count && ferror(stdin) && !readError_.failed())
      readError_ = standardInputReadError();
    buffer[got] = 0;
    return int(got);
  }
};

/// A named file as the reader's stream. A read that fails, or passes
/// kFileMax, ends the stream and is kept, as for standard input.
class FileReader : public ByteReader {
public:
  explicit FileReader(RegularFile* file) : file_(file) {}
  ~FileReader() override { closeRegularFile(file_); }
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  int read(char* buffer, int count) override {
    long got = 0;
    if (count > 0 && !readError_.failed())
      got = readRegularFilePart(file_, buffer, size_t(count), &readError_);
    if (got < 0)
      got = 0;
    buffer[got] = 0;
    return int(got);
  }

private:
  RegularFile* file_;
};

void writeToStdout(void*, const char* data, size_t size) {
  fwrite(data, 1, size, stdout);
}

struct Options {
  bool record = false;
  const char* file = nullptr;
};

bool parseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--record") == 0)
      options->record = true;
    else if (argv[i][0] == '-' || options->file)
      return false;
    else
      options->file = argv[i];
  }
  return true;
}

/// The record each enabler would build, and what it would miss.
std::string recordAccount(const VtDocument* document) {
  struct Form {
    EnablerProgram program;
    const char* name;
  };
  const Form forms[] = {{EnablerProgram::VirtualServer, "vs-enabler"},
                        {EnablerProgram::VMware, "vmware-enabler"}};
  std::string text;
  for (const Form& form : forms) {
    std::string record;
    int packages = 0;
    if (!composeProcessorRecord(document, form.program, &record, &packages))
      record = "none";
    text += "record " + std::string(form.name) + " " + record + "\n";
    for (const ProcessorRecordValue& value :
         processorRecordValues(document, form.program)) {
      if (!value.found)
        text += "missing " + std::string(form.name) + " " + value.name + " " +
                value.taken + "\n";
    }
  }
  return text;
}

} // namespace

int main(int argc, char** argv) {
  if (answerHelpOrVersion(argc, argv, "vtdump", kHelp, kBanner))
    return kStatusOk;
  Options options;
  if (!parseOptions(argc, argv, &options)) {
    fputs(kUsage, stderr);
    return kStatusFailed;
  }
  if (!options.file && standardInputIsConsole()) {
    fputs(kConsoleHint, stderr);
    return kStatusFailed;
  }

  setBinaryStdio(kStandardInput | kStandardOutput);
  std::unique_ptr<ByteReader> input;
  if (options.file) {
    SystemError error;
    RegularFile* file = openRegularFile(options.file, kFileMax, &error);
    if (!file) {
      printDiagnostic(stderr, "vtdump: %s\n", error.message().c_str());
      return kStatusFailed;
    }
    input.reset(new FileReader(file));
  } else {
    input.reset(new StdinReader);
  }
  // A failed read of the input, or memory that could not hold the document,
  // gives its reason and no account: a part of one would pass for the whole.
  SystemError readFailure;
  VtDocument* document = vtReadDocument(input.get(), &readFailure);
  if (input->readError().failed())
    readFailure = input->readError();
  if (readFailure.failed()) {
    vtFreeDocument(document);
    printDiagnostic(stderr, "vtdump: %s\n", readFailure.message().c_str());
    return kStatusFailed;
  }
  // The account goes out a line at a time instead of being held whole.
  vtWriteDump(document, writeToStdout, nullptr);
  if (options.record) {
    std::string records = recordAccount(document);
    fwrite(records.data(), 1, records.size(), stdout);
  }
  vtFreeDocument(document);
  fflush(stdout);
  return kStatusOk;
}
