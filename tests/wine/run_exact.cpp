// Starts a program with exactly the command line it reads from its standard
// input (one line), and prints the program's exit code as a signed number.
// Handing the line over through Wine's own argument list would re-quote it,
// and Wine's exit status is cut to 8 bits and can't tell -1 from 255.
#include <cstdio>
#include <iostream>
#include <string>

#include "tests/wine/harness.h"

int main() {
  std::string command_line;
  if (!std::getline(std::cin, command_line) || command_line.empty()) {
    std::fprintf(stderr, "usage: echo 'PROGRAM ARGUMENTS' | run_exact\n");
    return 2;
  }
  if (command_line.back() == '\r') command_line.pop_back();
  int code = RunExact(command_line);
  std::printf("exit code %d\n", code);
  return code == 0 ? 0 : 1;
}
