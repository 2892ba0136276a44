// program_info.cpp: the release version and the help arguments.
#include "common/program_info.h"

#include "release_version.h"

#include <string.h>

const char* releaseVersion() {
  return ENABLER_RELEASE_VERSION;
}

bool isHelpArgument(const char* argument) {
  if (argument == nullptr)
    return false;
  // "/?" is how Windows programs are asked; the others are the usual forms
  // elsewhere.
  static const char* const kForms[] = {"--help", "-h", "-?", "/?"};
  for (const char* form : kForms) {
    if (strcmp(argument, form) == 0)
      return true;
  }
  return false;
}

bool hasHelpArgument(int argc, char** argv) {
  for (int i = 1; argv != nullptr && i < argc; ++i) {
    if (isHelpArgument(argv[i]))
      return true;
  }
  return false;
}

bool hasVersionArgument(int argc, char** argv) {
  for (int i = 1; argv != nullptr && i < argc; ++i) {
    if (argv[i] != nullptr && strcmp(argv[i], "--version") == 0)
      return true;
  }
  return false;
}

void printVersion(FILE* out, const char* program, const char* banner) {
  fputs(banner, out);
  fprintf(out, "%s release %s\n", program, releaseVersion());
}

bool answerHelpOrVersion(int argc, char** argv, const char* program,
                         const char* help, const char* banner) {
  if (hasHelpArgument(argc, argv)) {
    fputs(help, stdout);
    return true;
  }
  if (hasVersionArgument(argc, argv)) {
    printVersion(stdout, program, banner);
    return true;
  }
  return false;
}
