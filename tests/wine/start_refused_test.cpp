// Builds that are programs, and yet are not started: `which` reads the real
// headers and manifests the linker wrote, asks Wine for its machine and the
// user's rights, and says so; the launcher then does what Wine does.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "tests/support/registry_helpers.h"
#include "tests/wine/harness.h"

namespace {

using nlohmann::json;

const std::string kMorvo = "SOFTWARE\\KESTAL\\Morvo";
const std::string kLayers = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

void Clean() {
  for (uint32_t view : {kKeyWow64_32Key, kKeyWow64_64Key}) {
    ASSERT_TRUE(RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", view));
  }
}

// The stub tool with its PE header naming another machine.
std::string WithMachine(std::string program, uint16_t machine) {
  const uint32_t pe = *reinterpret_cast<const uint32_t*>(program.data() + 0x3C);
  program[pe + 4] = static_cast<char>(machine & 0xFF);
  program[pe + 5] = static_cast<char>(machine >> 8);
  return program;
}

TEST(StartRefused, WhichForeseesWhatWineRefuses) {
  const std::string stub = ReadBytes(BuildFolder() + "\\stub_tool.exe");
  const std::string admin = ReadBytes(BuildFolder() + "\\stub_tool_admin.exe");
  ASSERT_FALSE(stub.empty());
  ASSERT_FALSE(admin.empty());
  const struct {
    const char* name;
    std::string program;
    const char* level;      // what `which` reads in the manifest; null: nothing
    const char* predicted;  // the step `which` names; null: it would start
    int launcher;           // what the launcher exits with under Wine
    bool run_as_administrator = false;  // set on the Compatibility tab, for this user
    // While the check reads it, another process holds the build open for
    // writing and deleting, as an update under way does; it lets go before
    // the launcher starts the build, which Windows would not start while
    // it is open for writing.
    bool held = false;
    // The check can't open its own token to learn whether the shell runs
    // programs elevated.
    bool token_shut = false;
  } cases[] = {
      {"x86", stub, nullptr, nullptr, 0},
      // Wine runs on x64 and, like Windows there, loads no ARM64 program.
      {"ARM64", WithMachine(stub, kMachineArm64), nullptr, "which this x64 Windows can't run", -1},
      // Wine gives an administrator's programs the limited half of a split
      // token, as Windows does under User Account Control, so `which` says
      // that Windows refuses the start; Wine itself starts the program
      // elevated without asking, where Windows' CreateProcess and WinExec
      // fail with 740.
      {"requireAdministrator", admin, "requireAdministrator", "error 740", 0},
      // "Run this program as an administrator": Windows refuses the start
      // with 740 as for the manifest; Wine knows no such layer and starts it.
      {"run as administrator", stub, nullptr, "RUNASADMIN", 0, true},
      {"held open for writing and deleting", admin, "requireAdministrator", "error 740", 0, false, true},
      // Rights that can't be learnt are taken to be enough: a start that
      // Windows may well allow is never foretold as refused.
      {"rights unknown", admin, "requireAdministrator", nullptr, 0, false, false, true},
  };
  const std::string folder = ScratchFolder("refused");
  const std::string file = folder + "\\model.cfg";
  WriteBytes(file, "\xefMorvo model\r\n");
  for (const auto& c : cases) {
    Clean();
    const std::string exe = folder + "\\" + c.name + "\\Exec32\\Morvo32.exe";
    WriteBytes(exe, c.program);
    ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\9.5", "Path", folder + "\\" + c.name, kKeyWow64_32Key));
    if (c.run_as_administrator) {
      ASSERT_TRUE(WriteString(kCurrentUser, kLayers, exe, "~ RUNASADMIN"));
    }

    HANDLE holder = INVALID_HANDLE_VALUE;
    if (c.held) {
      holder = CreateFileA(exe.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(holder, INVALID_HANDLE_VALUE) << c.name;
    }
    std::string output;
    const std::string check = "\"" + BuildFolder() + "\\ZandrellCheck.exe\" which \"" + file + "\" --json";
    const int predicted = c.token_shut ? RunCapturingWithTokenShut(check, &output) : RunCapturing(check, &output);
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    const json report = json::parse(output);
    EXPECT_EQ(predicted, c.predicted ? 1 : 0) << c.name;
    EXPECT_EQ(report["exe"], exe) << c.name;
    EXPECT_EQ(report["execution_level"], c.level ? json(c.level) : json()) << c.name;
    const std::string error = report["error"].is_null() ? "" : std::string(report["error"]);
    EXPECT_NE(error.find(c.predicted ? c.predicted : ""), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(error.empty(), c.predicted == nullptr) << c.name << ": " << error;

    ClearStubStarts();
    EXPECT_EQ(StartLauncher("\"" + file + "\""), c.launcher) << c.name;
    EXPECT_EQ(StubStarts().size(), c.launcher == 0 ? 1u : 0u) << c.name;    RemoveTree(kCurrentUser, kLayers);
  }
  Clean();
}

}  // namespace
