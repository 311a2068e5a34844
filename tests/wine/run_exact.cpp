// Starts a program with exactly the command line that follows our own name
// and prints the program's exit code as a signed number. Wine's own exit
// status is cut to 8 bits and can't tell -1 from 255.
#include <windows.h>

#include <cstdio>

#include "app/command_line.h"
#include "tests/wine/harness.h"

int main() {
  const char* command_line = CommandLineTail(GetCommandLineA());
  if (*command_line == '\0') {
    std::fprintf(stderr, "usage: run_exact PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  int code = RunExact(command_line);
  std::printf("exit code %d\n", code);
  return code == 0 ? 0 : 1;
}
