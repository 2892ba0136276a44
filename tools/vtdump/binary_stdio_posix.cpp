// binary_stdio_posix.cpp: POSIX streams carry bytes unchanged already.
#include "binary_stdio.h"

void setBinaryStdio() {}
