#include "app/launch_version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/host/host_platform.h"

namespace {

InstallCandidate Make(ToolKind kind, uint32_t major, int32_t bitness, const std::string& path) {
  InstallCandidate c = {};
  c.kind = kind;
  c.major = major;
  c.bitness = bitness;
  std::strncpy(c.exe_path, path.c_str(), sizeof c.exe_path - 1);
  return c;
}

InstallCandidate Wanted(ToolKind kind) {
  InstallCandidate wanted = {};
  wanted.kind = kind;
  return wanted;
}

TEST(LaunchVersion, StartsTheLastCandidateOfTheKindQuoted) {
  const struct {
    const char* name;
    CandidateList list;
    ToolKind kind;
    int result;
    const char* started;  // nullptr: nothing
  } cases[] = {
      {"one", {Make(1, 8, 0, "C:\\M\\Morvo32.exe")}, 1, 0, "\"C:\\M\\Morvo32.exe\" \"my.cfg\""},
      {"newest 64-bit",
       {Make(1, 9, 1, "old"), Make(1, 10, 0, "new32"), Make(1, 10, 1, "C:\\Program Files\\new64.exe")},
       1, 0, "\"C:\\Program Files\\new64.exe\" \"my.cfg\""},
      {"the last of equals", {Make(2, 3, 1, "from morvo"), Make(2, 3, 1, "from tessaline")}, 2, 0,
       "\"from tessaline\" \"my.cfg\""},
      {"other kind only", {Make(1, 9, 1, "morvo")}, 2, -1, nullptr},
      {"empty", {}, 1, -1, nullptr},
  };
  for (const auto& c : cases) {
    ResetHostPlatform();
    EXPECT_EQ(LaunchVersion(c.list, Wanted(c.kind), "my.cfg"), c.result) << c.name;
    if (c.started == nullptr) {
      EXPECT_TRUE(StartedPrograms().empty()) << c.name;
      continue;
    }
    ASSERT_EQ(StartedPrograms().size(), 1u) << c.name;
    EXPECT_EQ(StartedPrograms()[0].command_line, c.started) << c.name;
    EXPECT_EQ(StartedPrograms()[0].show, kShowNormal) << c.name;
  }
}

TEST(LaunchVersion, TrustsOnlyResultsAbove31AndNeverFallsBack) {
  CandidateList list = {Make(1, 10, 0, "tool32"), Make(1, 10, 1, "tool64")};
  for (uint32_t code : {0u, 2u, 11u, 31u, 32u, 33u}) {
    ResetHostPlatform();
    SetStartResult(code);
    EXPECT_EQ(LaunchVersion(list, Wanted(1), "a.cfg"), code > 31 ? 0 : -1) << code;
    ASSERT_EQ(StartedPrograms().size(), 1u) << code;
    EXPECT_EQ(StartedPrograms()[0].command_line, "\"tool64\" \"a.cfg\"");
  }
}

TEST(LaunchVersion, ACommandLineTooLongForItsBufferStartsNothing) {
  const std::string exe(259, 'e');
  CandidateList list = {Make(1, 1, 0, exe)};
  for (size_t config_length : {254u, 255u, 256u, 400u}) {
    ResetHostPlatform();
    std::string config(config_length, 'c');
    bool fits = exe.size() + config_length <= 514;
    EXPECT_EQ(LaunchVersion(list, Wanted(1), config.c_str()), fits ? 0 : -1) << config_length;
    ASSERT_EQ(StartedPrograms().size(), fits ? 1u : 0u) << config_length;
    if (fits) {
      EXPECT_EQ(StartedPrograms()[0].command_line, "\"" + exe + "\" \"" + config + "\"");
    }
  }
}

}  // namespace
