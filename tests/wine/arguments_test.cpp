// The real program, started with exact command lines: every argument it
// cannot use ends it with -1 and starts nothing. Both tools are installed, so
// that nothing but the argument can be what stops it.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/registry_helpers.h"
#include "tests/wine/harness.h"

namespace {

TEST(LauncherArguments, UnusableArgumentsExitWithMinusOne) {
  std::string folder = ScratchFolder("arguments");
  WriteBytes(folder + "\\neither.cfg", "xNeither tool\r\n");
  WriteBytes(folder + "\\morvo.cfg", "xMorvo\r\n");
  ASSERT_TRUE(RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", kKeyWow64_32Key));
  InstallStub(folder + "\\Morvo\\Exec32\\Morvo32.exe");
  InstallStub(folder + "\\Tessaline\\Exec32\\Quin32.exe");
  ASSERT_TRUE(WriteString(kLocalMachine, "SOFTWARE\\KESTAL\\Morvo\\9.5", "Path", folder + "\\Morvo",
                          kKeyWow64_32Key));
  ASSERT_TRUE(WriteString(kLocalMachine, "SOFTWARE\\KESTAL\\Tessaline\\3.1", "Path",
                          folder + "\\Tessaline", kKeyWow64_32Key));
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
  };
  for (const std::string& tail : paths) EXPECT_EQ(StartLauncher(tail), -1) << tail;
  EXPECT_TRUE(StubStarts().empty());

  // The same file, named properly, does open; with no Morvo installed it
  // can't (Tessaline's root never serves Morvo).
  EXPECT_EQ(StartLauncher("\"" + folder + "\\morvo.cfg\""), 0);
  EXPECT_EQ(StubStarts().size(), 1u);
  ClearStubStarts();
  ASSERT_TRUE(RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL\\Morvo", kKeyWow64_32Key));
  EXPECT_EQ(StartLauncher("\"" + folder + "\\morvo.cfg\""), -1);  // nothing of Morvo is installed
  EXPECT_TRUE(StubStarts().empty());
  RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", kKeyWow64_32Key);
}

}  // namespace
