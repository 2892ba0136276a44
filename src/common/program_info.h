// program_info.h: what every program of the package says about itself when a
// person asks: the release version, and which arguments ask for help.
#ifndef ENABLER_COMMON_PROGRAM_INFO_H
#define ENABLER_COMMON_PROGRAM_INFO_H

#include <stdio.h>

/// The release version of the package ("2.5"): CMake's project version, the
/// one the version resources carry.
const char* releaseVersion();

/// True for the arguments that ask for help: "--help", "-h", "-?" and "/?".
/// False for null.
bool isHelpArgument(const char* argument);

/// True when one of argv[1..argc-1] asks for help (isHelpArgument).
bool hasHelpArgument(int argc, char** argv);

/// True when one of argv[1..argc-1] is "--version".
bool hasVersionArgument(int argc, char** argv);

/// The answer to --version on `out`: `banner` (a whole line, its line end
/// included), then "<program> release <version>" and a line end.
void printVersion(FILE* out, const char* program, const char* banner);

/// A tool's answer to a person who asks: `help` on standard output when the
/// command line asks for help, else the version answer when it holds
/// "--version". True when it answered (the tool then ends with 0 without
/// doing its job).
bool answerHelpOrVersion(int argc, char** argv, const char* program,
                         const char* help, const char* banner);

#endif
