// child_process.cpp: the parts of the child-process layer that need no OS:
// the Windows command line and the native argument words.
#include "common/process/child_process.h"

#include <string.h>

std::string composeCommandLine(const char* program, const char* arguments) {
  std::string line;
  // Unquoted, CreateProcessA would try each blank-separated prefix of the
  // path as a program of its own.
  if (strchr(program, ' ')) {
    line += '"';
    line += program;
    line += '"';
  } else {
    line += program;
  }
  if (arguments) {
    line += ' ';
    line += arguments;
  }
  return line;
}

std::vector<std::string> splitArguments(const char* arguments) {
  std::vector<std::string> words;
  if (!arguments)
    return words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (const char* p = arguments; *p; ++p) {
    if (*p == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((*p == ' ' || *p == '\t') && !quoted) {
      if (inWord)
        words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += *p;
      inWord = true;
    }
  }
  if (inWord)
    words.push_back(word);
  return words;
}
