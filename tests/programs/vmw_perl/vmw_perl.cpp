// vmw_perl.cpp: a stand-in for VmPerl's perl.exe. It writes what it received
// to the file named by VMW_TEST_RECORD: each argument after its own name as
// the C runtime parsed it ("arg:" and the text, one a line), then the PATH
// and PHYSICAL_PROCESSOR values it inherited. It ends with the status given in
// VMW_TEST_STATUS (0 when unset).
#include <stdio.h>
#include <stdlib.h>

namespace {

void recordVariable(FILE* out, const char* name) {
  const char* value = getenv(name);
  if (value)
    fprintf(out, "%s=%s\n", name, value);
  else
    fprintf(out, "%s unset\n", name);
}

} // namespace

int main(int argc, char** argv) {
  const char* recordPath = getenv("VMW_TEST_RECORD");
  if (recordPath && *recordPath) {
    FILE* out = fopen(recordPath, "wb");
    if (!out)
      return 99;
    for (int i = 1; i < argc; ++i)
      fprintf(out, "arg:%s\n", argv[i]);
    recordVariable(out, "PATH");
    recordVariable(out, "PHYSICAL_PROCESSOR");
    fclose(out);
  }
  const char* status = getenv("VMW_TEST_STATUS");
  return status ? atoi(status) : 0;
}
