// admin_options.h: the options an administrator gives by hand and the
// inventory product never does: help, version and the dry run. They are read
// before the command line is judged the usual way, and only a line that holds
// one of them is read differently; every other line keeps its meaning.
#ifndef ENABLER_COMMON_ADMIN_OPTIONS_H
#define ENABLER_COMMON_ADMIN_OPTIONS_H

/// What a command line asks for.
enum class AdminRequest {
  kNone,     ///< none of the options: the line is judged as always
  kHelp,     ///< "--help", "-h", "-?" or "/?" anywhere on the line
  kVersion,  ///< "--version" anywhere, and no help option
  kDryRun,   ///< "--dry-run" with at most "-v" and "-version", each once
  kRejected, ///< "--dry-run" with anything else, or twice
};

/// The request, and for a dry run the two flags beside it.
struct AdminOptions {
  AdminRequest request = AdminRequest::kNone;
  bool log = false;     ///< "-v" given with "--dry-run"
  bool version = false; ///< "-version" given with "--dry-run"
};

/// Reads argv[1..argc-1]. Help wins over everything, then "--version"; so
/// neither ever does the job. A null vector asks for nothing.
AdminOptions readAdminOptions(int argc, char** argv);

#endif
