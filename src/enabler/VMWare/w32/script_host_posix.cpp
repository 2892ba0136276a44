// script_host_posix.cpp: POSIX half of the retrieval run's platform needs.
// The interpreter is started with posix_spawn and an argument vector, so no
// shell ever sees the identity texts.
#include "script_host.h"

#include "registry.h"

#include <errno.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

const char* perlInterpreterName() {
  return "perl";
}

char searchPathSeparator() {
  return ':';
}

bool getShortPath(const char* path, std::string* shortPath) {
  // There are no 8.3 names here: the path stands for itself as long as it
  // names something and fits where Windows would put its short form.
  struct stat info;
  std::string text = path ? path : "";
  if (text.empty() || text.size() >= kInstallPathBytes ||
      stat(text.c_str(), &info) != 0)
    return false;
  *shortPath = text;
  return true;
}

std::string currentSearchPath() {
  const char* value = getenv("PATH");
  return value ? value : "";
}

bool setSearchPath(const std::string& value) {
  return setenv("PATH", value.c_str(), /*overwrite=*/1) == 0;
}

int runScript(const ScriptCommand& command) {
  std::vector<char*> argv;
  for (const std::string& argument : command.arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, command.program.c_str(), nullptr, nullptr, argv.data(),
                  environ) != 0)
    return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR)
      return -1;
  // A script killed by a signal has no exit status of its own.
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
