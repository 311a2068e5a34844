// `ZandrellCheck association` over registry states: each row one state, and
// the verdict, whether the program is ours, and the exit code.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "app/check/check_command.h"
#include "platform/host/host_platform.h"
#include "tests/support/registry_helpers.h"

namespace {

namespace fs = std::filesystem;

const char kUserChoice[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.cfg\\UserChoice";

class CheckAssociation : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() / ("association-" + std::to_string(getpid()));
    fs::remove_all(base_);
    fs::create_directories(base_);
    for (const char* program : {"ZandrellLauncher.exe", "ZandrellCheck.exe", "Other.exe"}) {
      std::ofstream(base_ / program) << "MZ";
    }
    folder_ = BackslashPath(base_);
  }
  void TearDown() override {
    fs::remove_all(base_);
    EXPECT_EQ(OpenKeyCount(), 0) << "a key was left open";
  }
  // .cfg of `type` as the shell sees it (HKCR) and machine-wide, with an
  // open command starting `program` from our folder.
  void Register(const std::string& type, const std::string& program, uint32_t kind = kRegSz) {
    ASSERT_TRUE(WriteString(kClassesRoot, ".cfg", "", type));
    ASSERT_TRUE(WriteString(kLocalMachine, "Software\\Classes\\.cfg", "", type));
    if (program.empty()) return;
    ASSERT_TRUE(WriteValue(kClassesRoot, type + "\\Shell\\Open\\Command", "", kind,
                           WithTerminator("\"" + program + "\" \"%1\"")));
  }

  fs::path base_;
  std::string folder_;
};

TEST_F(CheckAssociation, EachRegistryStateGivesItsVerdict) {
  const std::string ours = "Zandrell.Launcher.1";
  const struct {
    const char* name;
    std::function<void()> setup;
    const char* verdict;
    bool program_is_ours;
    bool expanded;
    const char* detail = nullptr;  // where the reason matters
  } rows[] = {
      {"nothing", [] {}, "not registered", false, false},
      {"our type removed", [&] { Register(ours, ""); }, "not registered", false, false,
       ".cfg names the file type Zandrell.Launcher.1, which does not exist"},
      {"our type without a command",
       [&] {
         Register(ours, "");
         ASSERT_TRUE(WriteString(kClassesRoot, ours, "", "Tessaline/Morvo Configuration"));
       },
       "not registered", false, false, "the file type has no open command"},
      {"ours", [&] { Register(ours, folder_ + "\\ZandrellLauncher.exe"); }, "registered", true, false},
      {"our type starting another program", [&] { Register(ours, folder_ + "\\Other.exe"); },
       "registered to another program", false, false},
      {"our type starting the check program", [&] { Register(ours, folder_ + "\\ZandrellCheck.exe"); },
       "registered to another program", false, false},
      {"another type", [&] { Register("Other.Type", folder_ + "\\Other.exe"); },
       "registered to another program", false, false},
      {"this user's own type",
       [&] {
         Register(ours, folder_ + "\\ZandrellLauncher.exe");
         ASSERT_TRUE(WriteString(kCurrentUser, "Software\\Classes\\.cfg", "", "Other.Type"));
       },
       "overridden for this user", true, false},
      {"this user's Open with choice",
       [&] {
         Register(ours, folder_ + "\\ZandrellLauncher.exe");
         ASSERT_TRUE(WriteString(kCurrentUser, kUserChoice, "ProgId", "Other.Type"));
       },
       "overridden for this user", true, false},
      {"our type in other letters, everywhere",
       [&] {
         Register("zandrell.launcher.1", folder_ + "\\ZandrellLauncher.exe");
         ASSERT_TRUE(WriteString(kCurrentUser, "Software\\Classes\\.cfg", "", "ZANDRELL.launcher.1"));
         ASSERT_TRUE(WriteString(kCurrentUser, kUserChoice, "ProgId", "zandrell.LAUNCHER.1"));
       },
       "registered", true, false},
      {"a command naming the launcher through a variable",
       [&] {
         SetEnvironmentText("ZandrellHome", folder_);
         Register(ours, "%ZandrellHome%\\ZandrellLauncher.exe", kRegExpandSz);
       },
       "registered", true, true},
      {"program missing", [&] { Register(ours, folder_ + "\\Gone\\ZandrellLauncher.exe"); },
       "program missing", false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ResetHostPlatform();
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
    if (row.expanded) {
      EXPECT_EQ(report["command_expanded"],
                "\"" + folder_ + "\\ZandrellLauncher.exe\" \"%1\"");
    } else {
      EXPECT_TRUE(report["command_expanded"].is_null());
    }
    // The text report gives the same verdict.
    std::string text;
    EXPECT_EQ(RunCheck({"association"}, &text, &err), result);
    const std::string verdict_line = text.substr(text.rfind("Verdict:"));
    EXPECT_NE(verdict_line.find("  " + std::string(row.verdict) + ": "), std::string::npos) << text;
  }
}

}  // namespace
