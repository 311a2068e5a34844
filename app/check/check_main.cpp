// ZandrellCheck.exe: explains what the launcher would do, and why. The
// launcher shows nothing by design; this is the one place to ask.
#include <string>
#include <vector>

#include "app/check/check_command.h"
#include "platform/platform.h"

int main() {
  // The C runtime's own argv holds best-fit look-alikes of names outside the
  // ANSI code page; the arguments are taken exactly or not at all.
  std::vector<std::string> arguments;
  if (GetProcessArguments(&arguments) != 0) {
    WriteStandardStream(2, "ZandrellCheck: an argument has a character outside the ANSI code page, "
                           "which the launcher can't take either\n");
    return 1;
  }
  if (!arguments.empty()) arguments.erase(arguments.begin());
  std::string out, err;
  int result = RunCheck(arguments, &out, &err);
  WriteStandardStream(1, out);
  WriteStandardStream(2, err);
  return result;
}
