// The probe's view of a configuration file's first line. The same table runs
// natively and under Wine, where the Windows runtime's text mode is what
// drops carriage returns and stops at Ctrl-Z.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "config_probe/probe_configuration.h"
#include "platform/platform.h"
#include "tests/support/registry_helpers.h"
#include "tests/support/outside_code_page.h"

namespace {

namespace fs = std::filesystem;

struct ProbeCase {
  const char* name;
  std::string content;
  int kind;  // 0: not recognised
};

std::string Pad(size_t count) { return std::string(count, 'a'); }

fs::path WriteFile(const std::string& name, const std::string& content) {
  fs::path path = fs::temp_directory_path() / ("probe-" + name + ".cfg");
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

TEST(ProbeConfiguration, ReadsTheFirstLineFromTheSecondByte) {
  const ProbeCase cases[] = {
      {"morvo", "xMorvo configuration\n", 1},
      {"tessaline", "xTessaline\n", 2},
      {"both", "xTessaline and Morvo\n", 1},
      {"first-byte", "Morvo\n", 0},
      {"first-byte-twice", "Morvo Morvo\n", 1},
      {"case", "xmorvo TESSALINE\n", 0},
      {"second-line", "x\nMorvo\n", 0},
      {"leading-lf", "\nMorvo\n", 1},
      {"leading-crlf", "\r\nMorvo\n", 0},
      {"crlf", "xMorvo\r\nTessaline\r\n", 1},
      {"crlf-second", "xabc\r\nMorvo\r\n", 0},
      {"lone-cr", "xabc\rdef\rTessaline\r", 2},
      {"empty", "", 0},
      {"one-byte", "x", 0},
      {"lf-at-1", "x\nMorvo", 0},
      {"zero-byte", std::string("xab\0Morvo\n", 10), 0},
      {"ctrl-z", "xab\x1aMorvo\n", 0},
      {"ctrl-z-after", "xMorvo\x1a\n", 1},
      {"utf16", std::string("\xff\xfeM\0o\0r\0v\0o\0", 12), 0},
      {"morvo-at-255", "x" + Pad(254) + "Morvo", 1},
      {"morvo-at-256", "x" + Pad(255) + "Morvo", 0},
      {"tessaline-at-251", "x" + Pad(250) + "Tessaline", 2},
      {"tessaline-at-252", "x" + Pad(251) + "Tessaline", 0},
      {"crlf-at-limit", "x" + Pad(254) + "Morv\r\nMorvo", 0},
      {"cr-in-limit", "x" + Pad(253) + "\r\r\rMorvo", 0},
  };
  for (const ProbeCase& c : cases) {
    fs::path path = WriteFile(c.name, c.content);
    ToolKind kind = 77;
    int result = ProbeConfiguration(AnsiFromPath(path).c_str(), &kind);
    EXPECT_EQ(result, c.kind == 0 ? -1 : 0) << c.name;
    EXPECT_EQ(kind, c.kind == 0 ? 77 : c.kind) << c.name;
    fs::remove(path);
  }
}

TEST(ProbeConfiguration, RefusesWhatCannotBeOpenedAsAFile) {
  fs::path folder = fs::temp_directory_path() / "probe-folder Morvo";
  fs::create_directories(folder);
  ToolKind kind = 77;
  EXPECT_EQ(ProbeConfiguration(AnsiFromPath(folder).c_str(), &kind), -1);
  EXPECT_EQ(ProbeConfiguration(AnsiFromPath(folder / "missing.cfg").c_str(), &kind), -1);
  EXPECT_EQ(kind, 77);
  fs::remove_all(folder);
}

// The name Windows knows a program by, from any form of its path: the host
// layer must reach the very name the real one does.
TEST(ProgramPathContract, IsTheFullLongPathWithoutItsPrefix) {
  const fs::path folder = fs::temp_directory_path() / "program path" / "Exec32";
  fs::create_directories(folder);
  std::ofstream(folder / "Morvo32.exe") << "MZ";
  const std::string path = AsWindowsPath(AnsiFromPath(folder / "Morvo32.exe"));
  const std::string tail = "\\program path\\Exec32\\Morvo32.exe";
  ASSERT_EQ(path.substr(path.size() - tail.size()), tail);
  const std::string base = path.substr(0, path.size() - tail.size());
  std::string known;
  ASSERT_EQ(ProgramPathAsWindowsKnowsIt(path, &known), 0);
  ASSERT_GT(known.size(), tail.size());
  EXPECT_EQ(known.substr(known.size() - tail.size()), tail);
  std::string slashes = path;
  for (char& c : slashes) c = c == '\\' ? '/' : c;
  const std::string forms[] = {
      base + "\\program path\\\\Exec32\\Morvo32.exe",
      slashes,
      "\\\\?\\" + path,
      base + "\\program path\\.\\Exec32\\Morvo32.exe",
      base + "\\program path\\Exec64\\..\\Exec32\\Morvo32.exe",
  };
  for (const std::string& form : forms) {
    std::string same;
    EXPECT_EQ(ProgramPathAsWindowsKnowsIt(form, &same), 0) << form;
    EXPECT_EQ(same, known) << form;
  }
  fs::remove_all(folder.parent_path());
}

}  // namespace
