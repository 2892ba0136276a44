// admin_options.cpp: help, version and dry-run options of the enablers.
#include "enabler/common/admin_options.h"

#include "common/program_info.h"

#include <string.h>

AdminOptions readAdminOptions(int argc, char** argv) {
  AdminOptions options;
  if (argv == nullptr)
    return options;
  if (hasHelpArgument(argc, argv)) {
    options.request = AdminRequest::kHelp;
    return options;
  }
  if (hasVersionArgument(argc, argv)) {
    options.request = AdminRequest::kVersion;
    return options;
  }
  int dryRuns = 0, logs = 0, versions = 0, others = 0;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i] != nullptr ? argv[i] : "";
    if (strcmp(argument, "--dry-run") == 0)
      ++dryRuns;
    else if (strcmp(argument, "-v") == 0)
      ++logs;
    else if (strcmp(argument, "-version") == 0)
      ++versions;
    else
      ++others;
  }
  if (dryRuns == 0)
    return options;
  // The same strictness as the usual line: each flag once, nothing unknown.
  if (dryRuns > 1 || logs > 1 || versions > 1 || others > 0) {
    options.request = AdminRequest::kRejected;
    return options;
  }
  options.request = AdminRequest::kDryRun;
  options.log = logs == 1;
  options.version = versions == 1;
  return options;
}
