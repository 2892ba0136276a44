// enabler_stand_in.cpp: a stand-in for an enabler, for the tests of the
// scheduler wrapper. Unless STAND_IN_NO_LOG is set it writes en_out.txt in
// its current folder: "arg:" and each argument, one a line, then
// "cwd:" and the current folder, then STAND_IN_LINE when that is set. It ends
// with the status given in STAND_IN_STATUS (0 when unset).
#include <direct.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (!getenv("STAND_IN_NO_LOG")) {
    FILE* out = fopen("en_out.txt", "w");
    if (!out)
      return 99;
    for (int i = 1; i < argc; ++i)
      fprintf(out, "arg:%s\n", argv[i]);
    char folder[1024];
    fprintf(out, "cwd:%s\n", _getcwd(folder, sizeof folder) ? folder : "?");
    if (const char* line = getenv("STAND_IN_LINE"))
      fprintf(out, "%s\n", line);
    fclose(out);
  }
  const char* status = getenv("STAND_IN_STATUS");
  return status ? atoi(status) : 0;
}
