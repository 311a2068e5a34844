// The check program predicts the launcher: over random registries and files
// on the in-memory platform, what `which --json` says would be started is
// what the launcher starts, byte for byte, or both fail.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "app/check/check_command.h"
#include "app/launcher.h"
#include "platform/host/host_platform.h"
#include "tests/support/registry_helpers.h"

namespace {

namespace fs = std::filesystem;

class CheckAgreement : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() / ("check-" + std::to_string(getpid()));
    fs::remove_all(base_);
    // Folders holding every mix of the four builds.
    const char* builds[] = {"Exec32/Morvo32.exe", "Exec64/Morvo64.exe", "Exec32/Quin32.exe",
                            "Exec64/Quin64.exe"};
    for (int mix = 0; mix < 16; ++mix) {
      fs::path folder = base_ / ("mix " + std::to_string(mix));
      fs::create_directories(folder);
      for (int b = 0; b < 4; ++b) {
        if (mix & (1 << b)) {
          fs::create_directories((folder / builds[b]).parent_path());
          std::ofstream(folder / builds[b]) << "MZ";
        }
      }
      folders_.push_back(BackslashPath(folder));
    }
    const std::pair<const char*, const char*> files[] = {
        {"morvo.cfg", "xMorvo model\r\n"},   {"tessaline.cfg", "xTessaline part\r\n"},
        {"both.cfg", "xTessaline Morvo\r\n"}, {"neither.cfg", "xmorvo\r\n"},
        {"first byte.cfg", "Morvo\r\n"},     {"empty.cfg", ""},
    };
    for (const auto& [name, content] : files) {
      std::ofstream(base_ / name, std::ios::binary) << content;
      configs_.push_back(BackslashPath(base_ / name));
    }
    configs_.push_back(BackslashPath(base_ / "missing.cfg"));
    configs_.push_back(BackslashPath(base_ / "mix 0"));
    configs_.push_back(std::string(300, 'c') + ".cfg");
  }
  void TearDown() override { fs::remove_all(base_); }

  fs::path base_;
  std::vector<std::string> folders_, configs_;
};

TEST_F(CheckAgreement, WhichPredictsTheLauncherByteForByte) {
  const char* const roots[] = {"SOFTWARE\\KESTAL\\Morvo", "SOFTWARE\\KESTAL\\Tessaline"};
  const char* const names[] = {"8.0", "08.00", "8.0 SP1", "9.5", "10.0", "10.1", "8.10", "Settings",
                               " 7.1", "1.2.3", "4294967295.0", "4294967296.0", "3.1"};
  std::mt19937 random(2026);
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
  int started = 0, failed = 0;
  for (int round = 0; round < 400; ++round) {
    ResetHostPlatform();
    for (const char* root : roots) {
      for (size_t n = pick(6); n > 0; --n) {
        const std::string key = std::string(root) + "\\" + names[pick(std::size(names))];
        const std::string& folder = folders_[pick(folders_.size())];
        const uint32_t view = pick(8) == 0 ? kKeyWow64_64Key : kKeyWow64_32Key;
        switch (pick(6)) {
          case 0: WriteKey(kLocalMachine, key, view); break;  // no "Path"
          case 1: WriteValue(kLocalMachine, key, "Path", kRegBinary, folder, view); break;
          case 2: WriteValue(kLocalMachine, key, "Path", kRegSz, folder + std::string(300, 'x'), view); break;
          default: WriteString(kLocalMachine, key, "Path", folder, view);
        }
      }
    }
    const std::string& config = configs_[pick(configs_.size())];

    std::string out, err;
    int predicted = RunCheck({"which", config, "--json"}, &out, &err);
    ClearRecordedCalls();
    SetProcessCommandLine("x.exe \"" + config + "\"");
    int result = RunLauncher(GetProcessCommandLine());
    const std::string where = "round " + std::to_string(round) + ", " + config;
    ASSERT_TRUE(StartedPrograms().empty() || result == 0) << where;

    nlohmann::json report = nlohmann::json::parse(out);
    EXPECT_EQ(predicted, result == 0 ? 0 : 1) << where;
    if (result == 0) {
      ASSERT_EQ(StartedPrograms().size(), 1u) << where;
      EXPECT_EQ(report["command_line"], StartedPrograms()[0].command_line) << where;
      ++started;
    } else {
      EXPECT_EQ(report["exit_code"], -1) << where;
      EXPECT_FALSE(report["error"].is_null()) << where;
      ++failed;
    }
    // The check only reads.
    for (const PlatformCall& call : RecordedCalls()) {
      ASSERT_NE(call.function, "SetRegistryValue") << where;
      ASSERT_NE(call.function, "CreateRegistryKey") << where;
      ASSERT_NE(call.function, "DeleteRegistryKey") << where;
    }
  }
  // Both outcomes were met often.
  EXPECT_GT(started, 50);
  EXPECT_GT(failed, 50);
}

TEST(CheckCommand, UsageErrorsExitWithTwo) {
  const struct {
    std::vector<ProcessArgument> arguments;
    int result;
  } cases[] = {
      {{}, 2},
      {{"which"}, 2},
      {{"which", "a.cfg", "b.cfg"}, 2},
      {{"versions", "a.cfg"}, 2},
      {{"open", "a.cfg"}, 2},
      {{"--json"}, 2},
      {{"--help"}, 0},
      {{"which", "/?"}, 0},
  };
  for (const auto& c : cases) {
    ResetHostPlatform();
    std::string out, err;
    EXPECT_EQ(RunCheck(c.arguments, &out, &err), c.result) << c.arguments.size();
    EXPECT_EQ(err.find("usage:") != std::string::npos, c.result == 2) << err;
    EXPECT_EQ(out.find("usage:") != std::string::npos, c.result == 0) << out;
  }
}

}  // namespace
