// The Windows entry point. The C runtime's start-up code hands WinMain a
// command-line tail of its own making, but it ends the program's name at any
// byte above 127 and knows nothing of double-byte characters, so the tail is
// formed here from the whole command line instead.
#include "app/launcher.h"
#include "platform/platform.h"

extern "C" int __stdcall WinMain(void* /*instance*/, void* /*previous*/, char* /*tail*/,
                                 int /*show*/) {
  // Taking the command line allocates too; whatever it throws ends in -1
  // like every other failure, never in the runtime's abort.
  try {
    return RunLauncher(GetProcessCommandLine());
  } catch (...) {
    return -1;
  }
}
