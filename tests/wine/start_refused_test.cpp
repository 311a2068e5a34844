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
const std::string kPolicies = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// The name Windows knows a program by: its long path.
std::string LongPath(const std::string& path) {
  char long_path[MAX_PATH] = {};
  const DWORD length = GetLongPathNameA(path.c_str(), long_path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(long_path, length) : path;
}

// Wine's prefix has User Account Control off (EnableLUA 0), and without it
// nothing is refused for its rights; these cases are a machine with it on,
// as Windows has it unless told otherwise. The prefix's value is put back
// at the end; on Windows the machine's own setting stands, and decides.
class UserAccountControl {
 public:
  UserAccountControl() {
    saved_ = ReadValue(kLocalMachine, kPolicies, "EnableLUA", &type_, &value_, kKeyWow64_64Key);
    if (saved_ && RunningUnderWine()) {
      WriteValue(kLocalMachine, kPolicies, "EnableLUA", kRegDword, std::string("\1\0\0\0", 4), kKeyWow64_64Key);
    }
  }
  ~UserAccountControl() {
    if (saved_ && RunningUnderWine()) WriteValue(kLocalMachine, kPolicies, "EnableLUA", type_, value_, kKeyWow64_64Key);
  }
  bool On() const {
    uint32_t type = 0;
    std::string value;
    return !ReadValue(kLocalMachine, kPolicies, "EnableLUA", &type, &value, kKeyWow64_64Key) ||
           value != std::string(4, '\0');
  }

 private:
  bool saved_ = false;
  uint32_t type_ = 0;
  std::string value_;
};

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

// Windows refuses a build that asks for rights the launcher lacks, Wine
// starts it; both refuse a build for a machine they cannot run.
TEST(StartRefused, WhichForeseesWhatWindowsRefuses) {
  const std::string stub = ReadBytes(BuildFolder() + "\\stub_tool.exe");
  const std::string admin = ReadBytes(BuildFolder() + "\\stub_tool_admin.exe");
  const std::string x64 = ReadBytes(BuildFolder() + "\\stub_tool_x64.exe");
  ASSERT_FALSE(stub.empty());
  ASSERT_FALSE(admin.empty());
  ASSERT_FALSE(x64.empty());
  // What this system runs natively: 32-bit Windows runs no x64 program.
  const std::string native = NativeMachineName();
  const std::string cannot_run = "which this " + native + " Windows can't run";
  const bool runs_x64 = native == "x64";
  const bool under_wine = RunningUnderWine();
  const UserAccountControl user_account_control;
  // Refused for its rights: "error 740" foreseen, and the launcher exiting
  // -1, where the system refuses.
  const bool refuses = user_account_control.On();
  const char* const refused = refuses ? "error 740" : nullptr;
  const int refused_exit = refuses && !under_wine ? -1 : 0;
  // WOW64 runs no DOS or 16-bit program; 32-bit Windows hands one to
  // NTVDM where that is installed (Wine has none).
  const bool runs_dos =
      native == "x86" && GetFileAttributesA(SystemProgram("ntvdm.exe").c_str()) != INVALID_FILE_ATTRIBUTES;
  const struct {
    const char* name;
    std::string program;
    const char* level;      // what `which` reads in the manifest; null: nothing
    const char* predicted;  // the step `which` names; null: it would start
    int launcher;           // what the launcher, started by a standard user, exits with
    bool run_as_administrator = false;  // set on the Compatibility tab, for this user
    // While the check reads it, another process holds the build open for
    // writing and deleting, as an update under way does; it lets go before
    // the launcher starts the build, which Windows would not start while
    // it is open for writing.
    bool held = false;
    // The check can't open its own token to learn whether the shell runs
    // programs elevated.
    bool token_shut = false;
    const char* path_end = "";  // after the folder in "Path"
  } cases[] = {
      {"x86", stub, nullptr, nullptr, 0},
      // Neither x64 nor 32-bit Windows (nor Wine as either) loads an ARM64
      // program.
      {"ARM64", WithMachine(stub, kMachineArm64), nullptr, cannot_run.c_str(), -1},
      // A real x64 build: 64-bit Windows starts it, 32-bit Windows refuses,
      // and the launcher tries no other build.
      {"x64", x64, nullptr, runs_x64 ? nullptr : cannot_run.c_str(), runs_x64 ? 0 : -1},
      // Windows refuses to start a program that asks for administrator
      // rights from one that lacks them (CreateProcess fails with 740, and
      // the launcher exits -1); Wine starts it elevated without asking. The
      // shell of a user under User Account Control holds the limited half of
      // a split token, so `which` predicts the refusal either way.
      {"requireAdministrator", admin, "requireAdministrator", refused, refused_exit},
      // "Run this program as an administrator" on the Compatibility tab:
      // Windows refuses as for the manifest; Wine knows no such layer.
      {"run as administrator", stub, nullptr, refuses ? "RUNASADMIN" : nullptr, refused_exit, true},
      // The layer is kept under the program's full path, which has no
      // trailing backslash of "Path"'s own.
      {"run as administrator, Path with a trailing backslash", stub, nullptr, refuses ? "RUNASADMIN" : nullptr,
       refused_exit, true, false, false, "\\"},
      {"held open for writing and deleting", admin, "requireAdministrator", refused, refused_exit,
       false, true},
      // Rights that can't be learnt are taken to be enough: a start that
      // Windows may well allow is never foretold as refused.
      {"rights unknown", admin, "requireAdministrator", nullptr, refused_exit, false, false, true},
      // Only "MZ", no PE header: what NTVDM starts is not the stub.
      {"MZ only", "MZ", nullptr, runs_dos ? nullptr : "no PE header", runs_dos ? 0 : -1},
  };
  const std::string folder = ScratchFolder("refused");
  const std::string file = folder + "\\model.cfg";
  WriteBytes(file, "\xefMorvo model\r\n");
  for (const auto& c : cases) {
    Clean();
    const std::string exe = folder + "\\" + c.name + "\\Exec32\\Morvo32.exe";
    WriteBytes(exe, c.program);
    const std::string path = folder + "\\" + c.name + c.path_end;
    ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\9.5", "Path", path, kKeyWow64_32Key));
    if (c.run_as_administrator) {
      ASSERT_TRUE(WriteString(kCurrentUser, kLayers, LongPath(exe), "~ RUNASADMIN"));
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
    EXPECT_EQ(report["exe"], Utf8(path + "\\Exec32\\Morvo32.exe")) << c.name;
    EXPECT_EQ(report["execution_level"], c.level ? json(c.level) : json()) << c.name;
    const std::string error = report["error"].is_null() ? "" : std::string(report["error"]);
    EXPECT_NE(error.find(c.predicted ? c.predicted : ""), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(error.empty(), c.predicted == nullptr) << c.name << ": " << error;

    ClearStubStarts();
    EXPECT_EQ(StartLauncherAsStandardUser("\"" + file + "\""), c.launcher) << c.name;
    EXPECT_EQ(StubStarts().size(), c.launcher == 0 && c.program != "MZ" ? 1u : 0u) << c.name;
    RemoveTree(kCurrentUser, kLayers);
  }
  Clean();
}

}  // namespace
