// floor_cxx.cpp: the parts of the C++ runtime the enablers use: strings,
// vectors and maps, operator new with its exception, and the C library's
// formatted output.
#include <stdio.h>

#include <map>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  std::map<std::string, int> seen;
  for (const std::string& argument : arguments)
    ++seen[argument];
  printf("%zu\n", seen.size());
  return 0;
}
