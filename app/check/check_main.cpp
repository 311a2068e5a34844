// ZandrellCheck.exe: explains what the launcher would do, and why. The
// launcher shows nothing by design; this is the one place to ask.
#include <exception>
#include <string>

#include "app/check/check_command.h"
#include "platform/platform.h"

namespace {

int Check() {
  std::string out, err;
  int result = RunCheckProgram(&out, &err);
  WriteStandardStream(1, out);
  WriteStandardStream(2, err);
  return result;
}

}  // namespace

int main() {
  // RunCheck answers for everything it runs; this is for the little around
  // it (the arguments, the output), so that nothing ends the program through
  // the C runtime's abort instead of exit code 1.
  try {
    return Check();
  } catch (...) {
    WriteStandardStream(2, "ZandrellCheck: the check itself failed\n");
    return 1;
  }
}
