// vtdump.cpp: reads a variable-tree document on standard input with the
// enablers' reader and prints what the reader made of it (see vtree_dump.h),
// so a person can see why a report is not understood. Ends with 0 whatever
// the document held.
#include "binary_stdio.h"
#include "common/process/child_process.h"
#include "common/vartree/vtree.h"
#include "common/vartree/vtree_dump.h"

#include <stdio.h>

#include <string>

namespace {

class StdinReader : public ByteReader {
public:
  int read(char* buffer, int count) override {
    size_t got = count > 0 ? fread(buffer, 1, size_t(count), stdin) : 0;
    buffer[got] = 0;
    return int(got);
  }
};

} // namespace

int main() {
  setBinaryStdio();
  StdinReader input;
  VtDocument* document = vtReadDocument(&input);
  std::string text = vtDumpDocument(document);
  vtFreeDocument(document);
  fwrite(text.data(), 1, text.size(), stdout);
  fflush(stdout);
  return 0;
}
