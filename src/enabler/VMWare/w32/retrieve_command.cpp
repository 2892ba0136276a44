// retrieve_command.cpp: the interpreter's command line for retrieve.pl, the
// new PATH and the mapping of the script's status; no platform calls here.
#include "retrieve_command.h"

#include "common/platform/paths.h"
#include "enabler/common/exit_status.h"
#include "enabler/common/node_identity.h"

namespace {

const char kLibraryDir[] = "perl5/site_perl/5.005";
const char kArchLibraryDir[] = "perl5/site_perl/5.005/MSWin32-x86";

bool holdsBlank(const std::string& text) {
  return text.find_first_of(" \t") != std::string::npos;
}

// A path piece of the command line: quoted only when it holds a blank (the
// short form keeps its blanks where 8.3 names are disabled) or a quote.
std::string pathArgument(const std::string& path) {
  if (path.empty() || holdsBlank(path) || path.find('"') != std::string::npos)
    return quoteArgument(path);
  return path;
}

std::string textOrEmpty(const char* text) {
  return text ? text : "";
}

std::string textOrDash(const char* text) {
  return text && *text ? text : "-";
}

} // namespace

ScriptIdentity scriptIdentity(const NodeIdentity& identity) {
  return ScriptIdentity{
      textOrEmpty(identity.nodeId), textOrEmpty(identity.manufacturer),
      textOrDash(identity.product), textOrDash(identity.version),
      textOrDash(identity.type)};
}

std::string toForwardSlashes(std::string text) {
  for (char& c : text)
    if (c == '\\')
      c = '/';
  return text;
}

std::string quoteArgument(const std::string& argument) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count only before a quote: there they are doubled, and one
    // more makes the quote a literal one.
    if (c == '"')
      quoted.append(backslashes * 2 + 1, '\\');
    else
      quoted.append(backslashes, '\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

ScriptCommand composeScriptCommand(const std::string& shortVmperlPath,
                                   const NodeIdentity& identity,
                                   int numOfPhysicalPackages,
                                   bool verboseFlag) {
  ScriptCommand command;
  command.program = toForwardSlashes(shortVmperlPath + programFileName("perl"));
  command.arguments.push_back(command.program);
  command.commandLine = pathArgument(command.program);

  for (const char* dir : {kLibraryDir, kArchLibraryDir}) {
    std::string path = toForwardSlashes(shortVmperlPath + dir);
    command.arguments.push_back("-I" + path);
    command.commandLine += " -I" + pathArgument(path);
  }
  // The include options end with a blank and the script name adds one.
  command.commandLine += "  ";
  command.arguments.push_back(kRetrieveScriptName);
  command.commandLine += kRetrieveScriptName;

  ScriptIdentity texts = scriptIdentity(identity);
  const std::string* values[] = {&texts.nodeId, &texts.manufacturer,
                                 &texts.product, &texts.version, &texts.type};
  for (size_t i = 0; i < 5; ++i) {
    std::string value = toForwardSlashes(*values[i]);
    command.arguments.push_back(value);
    // Two blanks stand between the manufacturer and the product.
    command.commandLine += i == 2 ? "  " : " ";
    command.commandLine += quoteArgument(value);
  }

  std::string packages = std::to_string(numOfPhysicalPackages);
  command.arguments.push_back(packages);
  command.commandLine += " " + packages;
  if (verboseFlag) {
    command.arguments.push_back("-v");
    command.commandLine += " -v";
  }
  return command;
}

bool composeSearchPath(const std::string& earlierPath,
                       const std::string& vmperlPath,
                       const std::string& serverPath, std::string* value) {
  const char separator = pathListSeparator();
  value->clear();
  if (!earlierPath.empty()) {
    *value += earlierPath;
    *value += separator;
  }
  *value += toForwardSlashes(vmperlPath);
  *value += separator;
  *value += toForwardSlashes(serverPath);
  *value += separator;
  return value->size() <= kMaxEnvironmentValue;
}

int mapScriptStatus(int scriptStatus) {
  switch (scriptStatus) {
  case kVmwOk:
  case kVmwScriptFailed:
  case kVmwScriptStatus6:
  case kVmwNotInstalled:
    return scriptStatus;
  default:
    return kVmwScriptFailed;
  }
}
