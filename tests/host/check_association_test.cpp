// `ZandrellCheck association` over registry states: each row one state, and
// the verdict, whether the program is ours, and the exit code.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/check/check_command.h"
#include "platform/host/host_platform.h"
#include "tests/support/registry_helpers.h"

namespace {

namespace fs = std::filesystem;

const char kProgId[] = "Zandrell.Launcher.1";
const char kUserChoice[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.cfg\\UserChoice";

class CheckAssociation : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() / ("association-" + std::to_string(getpid()));
    fs::remove_all(base_);
    fs::create_directories(base_ / "Program Files" / "ZL");
    fs::create_directories(base_ / "x86");
    for (const char* program : {"ZandrellLauncher.exe", "ZandrellCheck.exe", "Other.exe",
                                "Program Files/ZL/ZandrellLauncher.exe"}) {
      std::ofstream(base_ / program) << "MZ";
    }
    folder_ = AsWindowsPath(base_);
  }
  void TearDown() override {
    fs::remove_all(base_);
    EXPECT_EQ(OpenKeyCount(), 0) << "a key was left open";
  }
  // .cfg of `type` as the shell sees it (HKCR) and machine-wide, with this
  // open command; a `program` alone is quoted as /regserver quotes it.
  void Register(const std::string& type, const std::string& program, uint32_t kind = kRegSz) {
    RegisterCommand(type, program.empty() ? "" : "\"" + program + "\" \"%1\"", kind);
  }
  void RegisterCommand(const std::string& type, const std::string& command, uint32_t kind = kRegSz) {
    ASSERT_TRUE(WriteString(kClassesRoot, ".cfg", "", type));
    ASSERT_TRUE(WriteString(kLocalMachine, "Software\\Classes\\.cfg", "", type));
    if (command.empty()) return;
    ASSERT_TRUE(WriteValue(kClassesRoot, type + "\\Shell\\Open\\Command", "", kind, WithTerminator(command)));
  }
  // Our open command naming the launcher in the Windows folder's System32,
  // which is put in the Windows folder's `system` beside it.
  void InWindowsFolder(const std::string& system) {
    SetWindowsFolder(folder_ + "\\Windows");
    fs::create_directories(base_ / "Windows" / system);
    std::ofstream(base_ / "Windows" / system / "ZandrellLauncher.exe") << "MZ";
    Register(kProgId, folder_ + "\\Windows\\System32\\ZandrellLauncher.exe");
  }
  // What Explorer writes when a user picks a program in "Open with".
  void ChooseInExplorer(const std::string& prog_id) {
    ASSERT_TRUE(WriteString(kCurrentUser, kUserChoice, "ProgId", prog_id));
  }

  fs::path base_;
  std::string folder_;
};

TEST_F(CheckAssociation, EachRegistryStateGivesItsVerdict) {
  const std::string ours = "Zandrell.Launcher.1";
  const std::string picked = "Applications\\ZandrellLauncher.exe";
  const struct {
    const char* name;
    std::function<void()> setup;
    const char* verdict;
    bool program_is_ours;
    std::string program;   // below the folder; "" where no command is read
    std::string expanded;  // below the folder; "" where the command is no REG_EXPAND_SZ
    std::vector<std::string> earlier;  // below the folder: looked for before the program
    const char* detail = nullptr;      // where the reason matters
    std::string text = "";             // the whole text report, where given
  } rows[] = {
      {"nothing", [] {}, "not registered", false, "", "", {}},
      {"our type removed", [&] { Register(ours, ""); }, "not registered", false, "", "", {},
       ".cfg names the file type Zandrell.Launcher.1, which does not exist"},
      {"our type without a command",
       [&] {
         Register(ours, "");
         ASSERT_TRUE(WriteString(kClassesRoot, ours, "", "Tessaline/Morvo Configuration"));
       },
       "not registered", false, "", "", {}, "the file type has no open command"},
      {"ours", [&] { Register(ours, folder_ + "\\ZandrellLauncher.exe"); }, "registered", true,
       "\\ZandrellLauncher.exe", "", {}},
      {"our type starting another program", [&] { Register(ours, folder_ + "\\Other.exe"); },
       "registered to another program", false, "\\Other.exe", "", {}},
      {"our type starting the check program", [&] { Register(ours, folder_ + "\\ZandrellCheck.exe"); },
       "registered to another program", false, "\\ZandrellCheck.exe", "", {}},
      {"another type", [&] { Register("Other.Type", folder_ + "\\Other.exe"); },
       "registered to another program", false, "\\Other.exe", "", {}},
      {"this user's own type",
       [&] {
         Register(ours, folder_ + "\\ZandrellLauncher.exe");
         ASSERT_TRUE(WriteString(kCurrentUser, "Software\\Classes\\.cfg", "", "Other.Type"));
       },
       "overridden for this user", true, "\\ZandrellLauncher.exe", "", {}},
      {"this user's Open with choice",
       [&] {
         Register(ours, folder_ + "\\ZandrellLauncher.exe");
         ChooseInExplorer("Other.Type");
       },
       "overridden for this user", true, "\\ZandrellLauncher.exe", "", {}},
      {"our type in other letters, everywhere",
       [&] {
         Register("zandrell.launcher.1", folder_ + "\\ZandrellLauncher.exe");
         ASSERT_TRUE(WriteString(kCurrentUser, "Software\\Classes\\.cfg", "", "ZANDRELL.launcher.1"));
         ChooseInExplorer("zandrell.LAUNCHER.1");
       },
       "registered", true, "\\ZandrellLauncher.exe", "", {}},
      // Explorer's choice comes first: ours wins over another machine-wide type.
      {"our type chosen in Explorer over another",
       [&] {
         Register("Other.Type", folder_ + "\\Other.exe");
         Register(ours, folder_ + "\\ZandrellLauncher.exe");
         ASSERT_TRUE(WriteString(kClassesRoot, ".cfg", "", "Other.Type"));
         ChooseInExplorer(ours);
       },
       "registered", true, "\\ZandrellLauncher.exe", "", {}, nullptr,
       "File type of .cfg:     Other.Type\n"
       "  for every user:      Other.Type  (HKLM\\Software\\Classes\\.cfg)\n"
       "  for this user:       (none)  (HKCU\\Software\\Classes\\.cfg)\n"
       "  \"Open with\" choice:  Zandrell.Launcher.1  (Explorer's UserChoice)\n"
       "File type used:        Zandrell.Launcher.1  (Explorer's \"Open with\" choice)\n"
       "Description:           (none)\n"
       "Open command:          \"" + folder_ + "\\ZandrellLauncher.exe\" \"%1\"\n"
       "Program:               " + folder_ + "\\ZandrellLauncher.exe  (Zandrell Launcher)\n"
       "Verdict:               registered: .cfg files open through " + folder_ + "\\ZandrellLauncher.exe\n"},
      // "Open with", then browsing to the launcher: Explorer keeps it as a file
      // type of its own, with its own open command.
      {"the launcher picked in Open with",
       [&] {
         ChooseInExplorer("applications\\zandrelllauncher.EXE");
         ASSERT_TRUE(WriteString(kClassesRoot, picked + "\\shell\\open\\command", "",
                                 "\"" + folder_ + "\\ZandrellLauncher.exe\" \"%1\""));
       },
       "registered", true, "\\ZandrellLauncher.exe", "", {}},
      {"the launcher picked in Open with, its command gone",
       [&] {
         Register(ours, folder_ + "\\ZandrellLauncher.exe");
         ChooseInExplorer(picked);
       },
       "not registered", false, "", "", {},
       "Explorer's \"Open with\" choice, Applications\\ZandrellLauncher.exe, names a file type that does "
       "not exist"},
      // Explorer's choice comes before this user's own file type too.
      {"our type chosen in Explorer over this user's own",
       [&] {
         Register(ours, folder_ + "\\ZandrellLauncher.exe");
         ASSERT_TRUE(WriteString(kCurrentUser, "Software\\Classes\\.cfg", "", "Other.Type"));
         ChooseInExplorer(ours);
       },
       "registered", true, "\\ZandrellLauncher.exe", "", {}},
      {"another program picked in Open with",
       [&] {
         Register(ours, folder_ + "\\ZandrellLauncher.exe");
         ChooseInExplorer("Applications\\Other.exe");
       },
       "overridden for this user", true, "\\ZandrellLauncher.exe", "", {}},
      {"a command naming the launcher through a variable",
       [&] {
         SetEnvironmentText("ZandrellHome", folder_);
         Register(ours, "%ZandrellHome%\\ZandrellLauncher.exe", kRegExpandSz);
       },
       "registered", true, "\\ZandrellLauncher.exe", "\\ZandrellLauncher.exe", {}, nullptr,
       "File type of .cfg:     Zandrell.Launcher.1\n"
       "  for every user:      Zandrell.Launcher.1  (HKLM\\Software\\Classes\\.cfg)\n"
       "  for this user:       (none)  (HKCU\\Software\\Classes\\.cfg)\n"
       "  \"Open with\" choice:  (none)  (Explorer's UserChoice)\n"
       "Description:           (none)\n"
       "Open command:          \"%ZandrellHome%\\ZandrellLauncher.exe\" \"%1\"\n"
       "  expands to:          \"" + folder_ + "\\ZandrellLauncher.exe\" \"%1\"\n"
       "Program:               " + folder_ + "\\ZandrellLauncher.exe  (Zandrell Launcher)\n"
       "Verdict:               registered: .cfg files open through " + folder_ + "\\ZandrellLauncher.exe\n"},
      // Explorer, a 64-bit program on 64-bit Windows, sees the 64-bit folders
      // where this 32-bit one sees the 32-bit ones.
      {"ProgramFiles as the 64-bit shell expands it",
       [&] {
         SetEnvironmentText("ProgramFiles", folder_ + "\\x86");
         SetEnvironmentText("ProgramW6432", folder_ + "\\Program Files");
         Register(ours, "%ProgramFiles%\\ZL\\ZandrellLauncher.exe", kRegExpandSz);
       },
       "registered", true, "\\Program Files\\ZL\\ZandrellLauncher.exe",
       "\\Program Files\\ZL\\ZandrellLauncher.exe", {}},
      {"CommonProgramFiles as the 64-bit shell expands it",
       [&] {
         SetEnvironmentText("commonprogramfiles", folder_ + "\\x86");
         SetEnvironmentText("CommonProgramW6432", folder_);
         Register(ours, "%CommonProgramFiles%\\ZandrellLauncher.exe", kRegExpandSz);
       },
       "registered", true, "\\ZandrellLauncher.exe", "\\ZandrellLauncher.exe", {}},
      {"ProgramFiles on 32-bit Windows",
       [&] {
         SetSeparate64BitView(false);
         SetEnvironmentText("ProgramFiles", folder_ + "\\Program Files");
         Register(ours, "%ProgramFiles%\\ZL\\ZandrellLauncher.exe", kRegExpandSz);
       },
       "registered", true, "\\Program Files\\ZL\\ZandrellLauncher.exe",
       "\\Program Files\\ZL\\ZandrellLauncher.exe", {}},
      {"a REG_SZ command is not expanded",
       [&] {
         SetEnvironmentText("ProgramW6432", folder_ + "\\Program Files");
         Register(ours, "%ProgramW6432%\\ZL\\ZandrellLauncher.exe");
       },
       "program missing", false, "%ProgramW6432%\\ZL\\ZandrellLauncher.exe", "", {}},
      // Without quotes, CreateProcess tries each blank-ended prefix in turn,
      // ".exe" added where it has no extension: C:\...\Program.exe first.
      {"an unquoted command with blanks",
       [&] { RegisterCommand(ours, folder_ + "\\Program Files\\ZL\\ZandrellLauncher.exe \"%1\""); },
       "registered", true, "\\Program Files\\ZL\\ZandrellLauncher.exe", "", {"\\Program.exe"}},
      // The warning names the first program on the road.
      {"an unquoted command with two blanks",
       [&] {
         fs::create_directories(base_ / "Program Files" / "Z L");
         std::ofstream(base_ / "Program Files" / "Z L" / "ZandrellLauncher.exe") << "MZ";
         RegisterCommand(ours, folder_ + "\\Program Files\\Z L\\ZandrellLauncher.exe \"%1\"");
       },
       "registered", true, "\\Program Files\\Z L\\ZandrellLauncher.exe", "",
       {"\\Program.exe", "\\Program Files\\Z.exe"}},
      {"an unquoted command taken over by a program on its road",
       [&] {
         std::ofstream(base_ / "Program.exe") << "MZ";
         RegisterCommand(ours, folder_ + "\\Program Files\\ZL\\ZandrellLauncher.exe \"%1\"");
       },
       "registered to another program", false, "\\Program.exe", "", {}},
      {"an unquoted command whose road passes a folder",
       [&] {
         fs::create_directories(base_ / "Program.exe");
         RegisterCommand(ours, folder_ + "\\Program Files\\ZL\\ZandrellLauncher.exe \"%1\"");
       },
       "registered", true, "\\Program Files\\ZL\\ZandrellLauncher.exe", "", {"\\Program.exe"}},
      {"an unquoted command without blanks",
       [&] { RegisterCommand(ours, folder_ + "\\ZandrellLauncher.exe \"%1\""); }, "registered", true,
       "\\ZandrellLauncher.exe", "", {}},
      {"an unquoted command to a program that is not there",
       [&] { RegisterCommand(ours, folder_ + "\\Program Files\\Gone\\ZandrellLauncher.exe \"%1\""); },
       "program missing", false, "\\Program Files\\Gone\\ZandrellLauncher.exe", "", {"\\Program.exe"}},
      {"a quoted program without its extension",
       [&] { Register(ours, folder_ + "\\ZandrellLauncher"); }, "registered", true,
       "\\ZandrellLauncher.exe", "", {}},
      {"program missing", [&] { Register(ours, folder_ + "\\Gone\\ZandrellLauncher.exe"); },
       "program missing", false, "\\Gone\\ZandrellLauncher.exe", "", {}},
      // Where nothing is there, the program meant is the first prefix that
      // ends in ".exe", in any letters; without one, the first prefix.
      {"an unquoted command whose argument ends in .exe",
       [&] { RegisterCommand(ours, folder_ + "\\Gone\\ZandrellLauncher.exe " + folder_ + "\\Other.exe"); },
       "program missing", false, "\\Gone\\ZandrellLauncher.exe", "", {}},
      {"an unquoted command without .exe",
       [&] { RegisterCommand(ours, folder_ + "\\Program Files\\Gone\\ZandrellLauncher \"%1\""); },
       "program missing", false, "\\Program.exe", "", {}},
      {"an unquoted command with .EXE",
       [&] { RegisterCommand(ours, folder_ + "\\Program Files\\Gone\\ZandrellLauncher.EXE \"%1\""); },
       "program missing", false, "\\Program Files\\Gone\\ZandrellLauncher.EXE", "", {"\\Program.exe"}},
      // ".exe" is added where the program's own name has no extension,
      // whatever its folders' names have.
      {"a dot in a folder's name",
       [&] {
         fs::create_directories(base_ / "v1.2");
         std::ofstream(base_ / "v1.2" / "ZandrellLauncher.exe") << "MZ";
         Register(ours, folder_ + "\\v1.2\\ZandrellLauncher");
       },
       "registered", true, "\\v1.2\\ZandrellLauncher.exe", "", {}},
      // Explorer, a 64-bit program, starts the native System32's programs,
      // which this 32-bit one finds in Sysnative, not in SysWOW64.
      {"a launcher in the native System32",
       [&] { InWindowsFolder("System32"); }, "registered", true, "\\Windows\\System32\\ZandrellLauncher.exe",
       "", {}},
      {"a launcher in SysWOW64 only",
       [&] { InWindowsFolder("SysWOW64"); }, "program missing", false,
       "\\Windows\\System32\\ZandrellLauncher.exe", "", {}},
      // A program named without its folder is searched for as Windows
      // searches, never in the check's own folder.
      {"a program named without its folder", [&] { RegisterCommand(ours, "ZandrellLauncher.exe \"%1\""); },
       "not judged", false, "ZandrellLauncher.exe", "", {}},
      {"a command that can't be expanded",
       [&] {
         SetEnvironmentText("ZL_CHECK_COMMAND", folder_ + "\\ZandrellLauncher", false);
         RegisterCommand(ours, "%ZL_CHECK_COMMAND%.exe \"%1\"", kRegExpandSz);
       },
       "not judged", false, "", "", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ResetHostPlatform();
    fs::remove_all(base_ / "Program.exe");
    fs::remove_all(base_ / "Windows");
    row.setup();
    std::string out, err;
    int result = RunCheck({"association", "--json"}, &out, &err);
    EXPECT_EQ(err, "");
    nlohmann::json report = nlohmann::json::parse(out);
    EXPECT_EQ(report["verdict"], row.verdict);
    if (row.detail != nullptr) {
      EXPECT_EQ(report["detail"], row.detail);
    }
    EXPECT_EQ(result, std::string(row.verdict) == "registered" ? 0 : 1);
    EXPECT_EQ(report["program_is_ours"], row.program_is_ours);
    const auto below = [&](const std::string& path) {
      return path.empty() ? nlohmann::json() : nlohmann::json(path[0] == '\\' ? folder_ + path : path);
    };
    EXPECT_EQ(report["program"], below(row.program));
    EXPECT_EQ(report["command_expanded"],
              row.expanded.empty() ? nlohmann::json() : nlohmann::json("\"" + folder_ + row.expanded + "\" \"%1\""));
    std::vector<std::string> earlier;
    for (const std::string& path : row.earlier) earlier.push_back(folder_ + path);
    EXPECT_EQ(report["earlier_programs"], nlohmann::json(earlier));
    // An unquoted road is warned of, naming the first program on it.
    EXPECT_EQ(report["warning"].is_string(), !earlier.empty());
    if (!earlier.empty()) {
      EXPECT_NE(report["warning"].get<std::string>().find(earlier[0] + " first"), std::string::npos);
    }
    // The text report gives the same verdict.
    std::string text;
    EXPECT_EQ(RunCheck({"association"}, &text, &err), result);
    const std::string verdict_line = text.substr(text.rfind("Verdict:"));
    EXPECT_NE(verdict_line.find("  " + std::string(row.verdict) + ": "), std::string::npos) << text;
    if (!row.text.empty()) {
      EXPECT_EQ(text, row.text);
    }
  }
}

}  // namespace
