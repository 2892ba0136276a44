// retrieve_command.h: what the retrieval run hands to the interpreter: the
// command line for retrieve.pl with the node identity and the capacity, and
// the new PATH; and how the script's exit status becomes the enabler's.
#ifndef ENABLER_VMWARE_RETRIEVE_COMMAND_H
#define ENABLER_VMWARE_RETRIEVE_COMMAND_H

#include "common/process/child_process.h"

#include <stddef.h>

#include <string>
#include <vector>

struct NodeIdentity;

/// The interpreter and its arguments as the retrieval run starts them: the
/// interpreter's path, started directly, never through a shell; the argument
/// vector it receives; and the same as one command line, which the log shows
/// and CreateProcessA receives.
using ScriptCommand = ProgramCommand;

/// The script the interpreter runs, by its bare name: from the current folder.
constexpr const char* kRetrieveScriptName = "retrieve.pl";

/// The longest value an environment variable can hold.
constexpr size_t kMaxEnvironmentValue = 32767;

/// The five identity texts in the script's order: nodeId and manufacturer as
/// they are (empty when absent), then product, version and type, each "-"
/// when empty or absent.
struct ScriptIdentity {
  std::string nodeId;
  std::string manufacturer;
  std::string product;
  std::string version;
  std::string type;
};
ScriptIdentity scriptIdentity(const NodeIdentity& identity);

/// Every backslash of `text` turned into a forward slash.
std::string toForwardSlashes(std::string text);

/// `argument` in double quotes so that the C runtime's parser gives it back
/// unchanged: a double quote inside becomes \" and backslashes before a quote
/// or before the closing quote are doubled.
std::string quoteArgument(const std::string& argument);

/// The interpreter command for retrieve.pl: the interpreter and two -I
/// options below `shortVmperlPath`, "retrieve.pl", the five identity texts
/// (nodeId and manufacturer empty when absent; product, version and type "-"
/// when empty or absent), the package count and, with `verboseFlag`, "-v".
/// Backslashes become forward slashes in every piece; each identity text is
/// quoted, the paths only when they hold a blank.
ScriptCommand composeScriptCommand(const std::string& shortVmperlPath,
                                   const NodeIdentity& identity,
                                   int numOfPhysicalPackages, bool verboseFlag);

/// The new PATH: `earlierPath` unchanged and the list separator (nothing when
/// it is empty), then `vmperlPath` and `serverPath` with forward slashes, each
/// followed by the separator. False when the value is longer than an
/// environment variable can hold; `*value` is composed all the same.
bool composeSearchPath(const std::string& earlierPath,
                       const std::string& vmperlPath,
                       const std::string& serverPath, std::string* value);

/// The enabler's status for the script's: 0, 5, 6 and 7 stand, anything
/// else (-1 for a script that could not be started) gives 5.
int mapScriptStatus(int scriptStatus);

#endif
