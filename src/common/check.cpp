#include "common/check.h"

#include <stdio.h>
#include <stdlib.h>

void enablerAssertFailed(const char* expr, const char* module, int line) {
  fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expr, module,
          line);
  fflush(stderr);
  abort();
}
