#include "app/command_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/host/host_platform.h"

namespace {

struct TailCase {
  const char* command_line;
  bool double_byte;  // lead bytes 0x81..0x9F, as in a Japanese code page
  const char* tail;
};

TEST(CommandLineTail, SkipsTheProgramNameAsTheShellWroteIt) {
  const TailCase cases[] = {
      {"prog.exe", false, ""},
      {"prog.exe arg", false, "arg"},
      {"prog.exe   two  words  ", false, "two  words  "},
      {"\"C:\\Program Files\\z.exe\" \"C:\\a b.cfg\"", false, "\"C:\\a b.cfg\""},
      {"C:\\Pro\"gram Fi\"les\\z.exe x", false, "x"},
      {"prog.exe\t\x01\x1f x", false, "x"},
      {"\"unclosed name x", false, ""},
      {"pr\xe9g.exe x", false, "x"},           // a byte above 127 belongs to the name
      {"a\x81\"b c", true, "c"},               // a trail byte that looks like a quote
      {"a\x81\"b c", false, ""},               // ...is a quote in a single-byte code page
      {"a\x81 b c", true, "c"},                // a trail byte that looks like a blank
      {"a\x81", true, ""},                     // a lead byte at the very end
  };
  for (const TailCase& c : cases) {
    ResetHostPlatform();
    if (c.double_byte) SetLeadBytes(0x81, 0x9F);
    EXPECT_STREQ(CommandLineTail(c.command_line), c.tail) << c.command_line;
  }
}

struct NormaliseCase {
  const char* tail;
  int result;
  const char* argument;
};

TEST(NormaliseArgument, RemovesEnclosingQuotesOnly) {
  const NormaliseCase cases[] = {
      {"", -1, ""},
      {"\"", -1, ""},
      {"\"\"", -1, ""},
      {"\"a", -1, ""},
      {"\"abc", 0, "ab"},  // an unclosed quote still loses the last character
      {"\"C:\\a b.cfg\"", 0, "C:\\a b.cfg"},
      {"\"C:\\a.cfg\" ", 0, "C:\\a.cfg\""},  // the trailing blank goes, not the quote
      {"C:\\a b.cfg", 0, "C:\\a b.cfg"},
      {"a\"b\" ", 0, "a\"b\" "},
      {"\"/regserver\"", 0, "/regserver"},
  };
  for (const NormaliseCase& c : cases) {
    std::string argument = "untouched";
    EXPECT_EQ(NormaliseArgument(c.tail, &argument), c.result) << c.tail;
    EXPECT_EQ(argument, c.result == 0 ? c.argument : "untouched") << c.tail;
  }
  EXPECT_EQ(NormaliseArgument(nullptr, nullptr), -1);
}

TEST(ClassifyArgument, SwitchesInAnyCaseAndAnythingThatExists) {
  namespace fs = std::filesystem;
  ResetHostPlatform();
  fs::path folder = fs::temp_directory_path() / ("classify-" + std::to_string(getpid()));
  fs::create_directories(folder / "sub dir");
  std::ofstream(folder / "a b.cfg") << "xMorvo\n";
  std::string file = (folder / "a b.cfg").string();
  fs::path previous = fs::current_path();
  fs::current_path(folder);

  const struct {
    std::string argument;
    int result;
    RunMode mode;
  } cases[] = {
      {"/regserver", 0, kRunRegister},
      {"-REGSERVER", 0, kRunRegister},
      {"/RegServer", 0, kRunRegister},
      {"/UnRegServer", 0, kRunUnregister},
      {"-unregserver", 0, kRunUnregister},
      {"--regserver", -1, kRunNone},
      {"-", -1, kRunNone},
      {"/", -1, kRunNone},
      {"/regserver ", -1, kRunNone},
      {"/regserverx", -1, kRunNone},
      {"/foo", -1, kRunNone},
      {"/" + file, -1, kRunNone},  // a path from the root is taken for a switch
      {"a b.cfg", 0, kRunOpen},  // relative to the current folder
      {"sub dir", 0, kRunOpen},  // a directory passes too
      {"missing.cfg", -1, kRunNone},
      {"", -1, kRunNone},
  };
  for (const auto& c : cases) {
    RunMode mode = 99;
    EXPECT_EQ(ClassifyArgument(c.argument.c_str(), &mode), c.result) << c.argument;
    EXPECT_EQ(mode, c.mode) << c.argument;
  }
  fs::current_path(previous);
  fs::remove_all(folder);
}

}  // namespace
