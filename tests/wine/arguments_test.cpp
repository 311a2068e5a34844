// The real program, started with exact command lines: every argument it
// cannot use ends it with -1 and starts nothing.
#include <gtest/gtest.h>

#include "tests/wine/harness.h"

namespace {

TEST(LauncherArguments, UnusableArgumentsExitWithMinusOne) {
  std::string folder = ScratchFolder("arguments");
  WriteBytes(folder + "\\neither.cfg", "xNeither tool\r\n");
  WriteBytes(folder + "\\morvo.cfg", "xMorvo\r\n");
  const char* tails[] = {
      "",
      "\"",
      "\"\"",
      "\"a",
      "/foo",
      "--regserver",
      "-",
      "/regserver ",
      "\"/regserver \"",
  };
  ClearStubStarts();
  for (const char* tail : tails) EXPECT_EQ(StartLauncher(tail), -1) << "[" << tail << "]";
  const std::string paths[] = {
      "\"" + folder + "\\missing.cfg\"",
      "\"" + folder + "\"",                       // a folder exists, but is no file
      "\"" + folder + "\\neither.cfg\"",          // a file of neither tool
      "\"" + folder + "\\morvo.cfg\" ",           // the blank goes instead of the quote
      "\"" + folder + "\\morvo.cfg\"",            // nothing of Morvo is installed
  };
  for (const std::string& tail : paths) EXPECT_EQ(StartLauncher(tail), -1) << tail;
  EXPECT_TRUE(StubStarts().empty());
}

}  // namespace
