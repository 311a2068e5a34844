// Both programs set the quiet error mode before anything else: a "Path", a
// .cfg or a build on a drive without media must not make Windows show its
// critical-error box in their name, whatever the job and however it ends.
#include <gtest/gtest.h>

#include <string>

#include "app/check/check_command.h"
#include "app/launcher.h"
#include "platform/host/host_platform.h"
#include "tests/support/registry_helpers.h"

namespace {

TEST(QuietErrorMode, IsSetFirstAndOnceInBothPrograms) {
  const struct {
    const char* name;
    bool check;                // ZandrellCheck; otherwise the launcher
    const char* command_line;  // null: one the code page cannot hold
  } cases[] = {
      {"open", false, "ZandrellLauncher.exe \"C:\\Models\\model.cfg\""},
      {"register", false, "ZandrellLauncher.exe /regserver"},
      {"unregister", false, "ZandrellLauncher.exe /unregserver"},
      {"no argument", false, "ZandrellLauncher.exe"},
      {"a name outside the code page", false, nullptr},
      {"which", true, "ZandrellCheck.exe which \"C:\\Models\\model.cfg\""},
      {"versions", true, "ZandrellCheck.exe versions --json"},
      {"association", true, "ZandrellCheck.exe association"},
      {"usage", true, "ZandrellCheck.exe"},
  };
  for (const auto& c : cases) {
    ResetHostPlatform();
    WriteString(kLocalMachine, "SOFTWARE\\KESTAL\\Morvo\\9.5", "Path", "C:\\Morvo 9.5", kKeyWow64_32Key);
    ClearRecordedCalls();
    SetProcessCommandLine(c.command_line ? c.command_line : "", c.command_line != nullptr);
    if (c.check) {
      std::string out, err;
      RunCheckProgram(&out, &err);
    } else {
      RunLauncher(GetProcessCommandLine());
    }
    const std::vector<PlatformCall>& calls = RecordedCalls();
    ASSERT_FALSE(calls.empty()) << c.name;
    EXPECT_EQ(calls.front().function, "SetQuietErrorMode") << c.name;
    int set = 0;
    for (const PlatformCall& call : calls) set += call.function == "SetQuietErrorMode";
    EXPECT_EQ(set, 1) << c.name;
  }
}

}  // namespace
