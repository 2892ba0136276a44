// child_echo.cpp: the child that the process-layer tests start. It runs a list
// of actions, in order, taken from its arguments or, when it has none, from
// the blank-separated words of the environment variable CHILD_ECHO:
//   echo          copy standard input to standard output until its end
//   drain         read standard input until its end, keeping nothing
//   print N       write N bytes to standard output: byte i is 'a' + i % 26
//   stderr N      write N bytes to standard error ("forever": until a write
//                 fails); write failures are ignored
//   cat FILE      copy FILE to standard output
//   doc           write a fixed variable-tree document to standard output
//   args          write each argument, this word included, on a line
//   sleep MS      sleep MS milliseconds
//   linger MS     start a copy of this program that sleeps MS milliseconds
//                 holding standard output, and write its process number on
//                 a line
//   exit CODE     end at once with CODE
// After the last action it ends with 0. An unknown action ends it with 2.
#include "common/platform/standard_streams.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

// Defined per platform.
void sleepMilliseconds(long milliseconds);
/// Starts this program again with the actions "sleep MS", inheriting the
/// standard output; gives its process number, 0 when it did not start.
unsigned long startLingering(const char* milliseconds);

namespace {

const char kDocument[] = "1.0 0 child_echo report\n"
                         "(child_echo\n"
                         "Answer:i=42\n"
                         "Name:s=child echo\n"
                         "(Inner\n"
                         "Depth:i=7\n"
                         ")\n"
                         ")\n";

std::vector<std::string> splitWords(const char* text) {
  std::vector<std::string> words;
  std::string word;
  for (const char* p = text; *p; ++p) {
    if (*p == ' ' || *p == '\t') {
      if (!word.empty())
        words.push_back(word);
      word.clear();
    } else {
      word += *p;
    }
  }
  if (!word.empty())
    words.push_back(word);
  return words;
}

void copyStream(FILE* from, FILE* to) {
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, from)) > 0) {
    if (to)
      fwrite(buffer, 1, got, to);
  }
}

void printPattern(long count) {
  char buffer[4096];
  long done = 0;
  while (done < count) {
    long chunk = count - done < 4096 ? count - done : 4096;
    for (long i = 0; i < chunk; ++i)
      buffer[i] = static_cast<char>('a' + (done + i) % 26);
    fwrite(buffer, 1, static_cast<size_t>(chunk), stdout);
    done += chunk;
  }
}

void writeErrors(const std::string& amount) {
  char buffer[4096];
  memset(buffer, 'e', sizeof buffer);
  bool forever = amount == "forever";
  long left = forever ? 0 : atol(amount.c_str());
  while (forever || left > 0) {
    size_t chunk = forever || left >= 4096 ? 4096 : static_cast<size_t>(left);
    size_t written = fwrite(buffer, 1, chunk, stderr);
    if (written < chunk) {
      if (forever)
        return;
      clearerr(stderr);
    }
    left -= static_cast<long>(chunk);
  }
}

} // namespace

int main(int argc, char** argv) {
  // Byte counts and line ends reach the enabler unchanged.
  setBinaryStdio(kStandardInput | kStandardOutput | kStandardError);
  std::vector<std::string> words;
  if (argc > 1) {
    for (int i = 1; i < argc; ++i)
      words.push_back(argv[i]);
  } else if (const char* env = getenv("CHILD_ECHO")) {
    words = splitWords(env);
  }

  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& action = words[i];
    const char* operand = i + 1 < words.size() ? words[i + 1].c_str() : "";
    if (action == "echo") {
      copyStream(stdin, stdout);
    } else if (action == "drain") {
      copyStream(stdin, nullptr);
    } else if (action == "print") {
      printPattern(atol(operand));
      ++i;
    } else if (action == "stderr") {
      writeErrors(operand);
      ++i;
    } else if (action == "cat") {
      FILE* file = fopen(operand, "rb");
      if (file) {
        copyStream(file, stdout);
        fclose(file);
      }
      ++i;
    } else if (action == "doc") {
      fputs(kDocument, stdout);
    } else if (action == "args") {
      for (size_t j = i; j < words.size(); ++j)
        printf("%s\n", words[j].c_str());
      i = words.size();
    } else if (action == "sleep") {
      fflush(stdout);
      sleepMilliseconds(atol(operand));
      ++i;
    } else if (action == "linger") {
      printf("%lu\n", startLingering(operand));
      ++i;
    } else if (action == "exit") {
      fflush(stdout);
      return atoi(operand);
    } else {
      fprintf(stderr, "child_echo: unknown action %s\n", action.c_str());
      return 2;
    }
  }
  fflush(stdout);
  return 0;
}
