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

// The build rows of a `which` text report, blanks between cells made one.
std::vector<std::string> BuildLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = text.find("(the last one is started):\n");
  if (at == std::string::npos) return lines;
  for (at = text.find('\n', at) + 1; text.compare(at, 2, "  ") == 0; at = text.find('\n', at) + 1) {
    std::string line;
    for (size_t i = at; text[i] != '\n'; ++i) {
      if (text[i] != ' ' || (!line.empty() && line.back() != ' ')) line += text[i];
    }
    lines.push_back(line);
  }
  return lines;
}

// The least of an x86 program that 64-bit Windows starts: a DOS header
// pointing at a PE header.
std::string X86Program() {
  std::string program(0x40 + 24, '\0');
  program.replace(0, 2, "MZ");
  program[0x3C] = 0x40;
  program.replace(0x40, 6, std::string("PE\0\0\x4c\x01", 6));
  return program;
}

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
          std::ofstream(folder / builds[b], std::ios::binary) << X86Program();
        }
      }
      folders_.push_back(AsWindowsPath(folder));
    }
    const std::pair<const char*, const char*> files[] = {
        {"morvo.cfg", "xMorvo model\r\n"},   {"tessaline.cfg", "xTessaline part\r\n"},
        {"both.cfg", "xTessaline Morvo\r\n"}, {"neither.cfg", "xmorvo\r\n"},
        {"first byte.cfg", "Morvo\r\n"},     {"empty.cfg", ""},
    };
    for (const auto& [name, content] : files) {
      std::ofstream(base_ / name, std::ios::binary) << content;
      configs_.push_back(AsWindowsPath(base_ / name));
    }
    configs_.push_back(AsWindowsPath(base_ / "missing.cfg"));
    configs_.push_back(AsWindowsPath(base_ / "mix 0"));
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
  int started = 0, failed = 0, only_32_bit = 0;
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

    // The text report lists the builds as the JSON does, the one started last.
    std::string text;
    RunCheck({"which", config}, &text, &err);
    std::vector<std::string> expected;
    const nlohmann::json& candidates = report["candidates"];
    for (size_t i = 0; i < candidates.size(); ++i) {
      expected.push_back((i + 1 == candidates.size() && result == 0 ? "> " : "") +
                         candidates[i]["version"].get<std::string>() + " " +
                         std::to_string(candidates[i]["bits"].get<int>()) + "-bit " +
                         candidates[i]["exe"].get<std::string>());
    }
    EXPECT_EQ(BuildLines(text), expected) << where;

    // `versions` names the build the launcher starts for each tool's files.
    std::string versions;
    RunCheck({"versions", "--json"}, &versions, &err);
    const nlohmann::json tools = nlohmann::json::parse(versions)["tools"];
    for (size_t t = 0; t < 2; ++t) {
      const std::string& file = configs_[t];  // morvo.cfg, tessaline.cfg
      SetProcessCommandLine("x.exe \"" + file + "\"");
      const size_t before = StartedPrograms().size();
      const bool launched = RunLauncher(GetProcessCommandLine()) == 0;
      const nlohmann::json& start = tools[t]["would_start"];
      ASSERT_EQ(start.is_null(), !launched) << where << ", " << file;
      if (!launched) continue;
      ASSERT_EQ(StartedPrograms().size(), before + 1) << where;
      EXPECT_EQ(StartedPrograms().back().command_line,
                "\"" + start["exe"].get<std::string>() + "\" \"" + file + "\"") << where << ", " << file;
      if (start["bits"] == 32) ++only_32_bit;
    }
  }
  // Both outcomes were met often, and so were newest versions with a 32-bit build only.
  EXPECT_GT(started, 50);
  EXPECT_GT(failed, 50);
  EXPECT_GT(only_32_bit, 50);
}

// A first line with every control character a line can hold (a line feed
// ends it, Ctrl-Z ends the file's text) comes out of --json as it was read.
// The text report shows each of them, DEL too, as an escape, and keeps every
// label's text in one column: the whole report, as people read it.
TEST_F(CheckAgreement, TheFirstLineIsKeptByJsonAndShownEscapedInText) {
  ResetHostPlatform();
  ASSERT_TRUE(WriteString(kLocalMachine, "SOFTWARE\\KESTAL\\Morvo\\9.5", "Path", folders_[3], kKeyWow64_32Key));
  ASSERT_TRUE(WriteKey(kLocalMachine, "SOFTWARE\\KESTAL\\Morvo\\Settings", kKeyWow64_32Key));
  std::string line;
  for (char c = 0x01; c <= 0x1F; ++c) {
    if (c != '\n' && c != 0x1A) line += c;
  }
  line += "\x7f\"\\Morvo";
  std::ofstream(base_ / "controls.cfg", std::ios::binary) << "x" << line << "\n";
  const std::string file = AsWindowsPath(base_ / "controls.cfg");
  std::string out, err;
  RunCheck({"which", file, "--json"}, &out, &err);
  EXPECT_EQ(nlohmann::json::parse(out)["first_line"].get<std::string>(), line);

  const std::string exe32 = folders_[3] + "\\Exec32\\Morvo32.exe", exe64 = folders_[3] + "\\Exec64\\Morvo64.exe";
  EXPECT_EQ(RunCheck({"which", file}, &out, &err), 0);
  EXPECT_EQ(out,
            "File:         " + file + "\n"
            "First line:   \"\\x01\\x02\\x03\\x04\\x05\\x06\\x07\\x08\\t\\x0b\\x0c\\r\\x0e\\x0f\\x10\\x11\\x12"
            "\\x13\\x14\\x15\\x16\\x17\\x18\\x19\\x1b\\x1c\\x1d\\x1e\\x1f\\x7f\"\\Morvo\" (read from the second byte)\n"
            "Tool:         Morvo\n"
            "Builds found, in the launcher's order (the last one is started):\n"
            "     9.5  32-bit  " + exe32 + "\n"
            "  >  9.5  64-bit  " + exe64 + "\n"
            "Passed over:\n"
            "  HKLM\\SOFTWARE\\KESTAL\\Morvo\\Settings:  not a version name (major.minor)\n"
            "Command line: \"" + exe64 + "\" \"" + file + "\"\n"
            "Result:       the launcher would start Morvo 9.5 (64-bit) and exit with 0\n");
}

// Why the launcher would start nothing, in the words `which` finds for each
// reason: a near miss of the name is pointed out, and an argument the
// launcher takes for a switch is named as the switch it is.
TEST_F(CheckAgreement, WhichSaysWhyTheLauncherWouldStartNothing) {
  std::ofstream(base_ / "zero.cfg", std::ios::binary) << std::string("xab\0Morvo\r\n", 10);
  const std::string neither = "its first line names neither Morvo nor Tessaline";
  const struct {
    const char* name;
    std::string file;
    std::string error;
  } cases[] = {
      {"a zero byte before the name", AsWindowsPath(base_ / "zero.cfg"),
       neither + " before a zero byte, where the search ends; the first byte of the file is never read"},
      {"the name in other letters", configs_[3],
       neither + " in these letters (the names are matched case for case); the first byte of the file is never read"},
      {"the name in the first byte only", configs_[4], neither + "; the first byte of the file is never read"},
      {"the switch to register", "/regserver",
       "the launcher would take this for its switch to register the file association"},
      {"the switch to remove", "-UnRegServer",
       "the launcher would take this for its switch to remove the file association"},
      {"a dash and no switch", "-model.cfg",
       "an argument that begins with - or / is taken for a switch, and this is none"},
  };
  for (const auto& c : cases) {
    ResetHostPlatform();
    std::string out, err;
    EXPECT_EQ(RunCheck({"which", c.file, "--json"}, &out, &err), 1) << c.name;
    EXPECT_EQ(nlohmann::json::parse(out)["error"], c.error) << c.name;
  }
}

// When the check can't go on, it still answers: one JSON object under --json,
// a line on standard error otherwise, and exit code 1. A name outside the
// code page is never acted on through its look-alike.
TEST_F(CheckAgreement, AnswersWhenItCannotGoOn) {
  ProcessArgument lookalike(configs_[0]);  // morvo.cfg, which exists and names Morvo
  lookalike.exact = false;
  lookalike.utf8 = AsWindowsPath(base_ / "m\xc5\x8drvo.cfg");
  // The fields of every report of `which`: those of one that succeeds.
  ResetHostPlatform();
  WriteString(kLocalMachine, "SOFTWARE\\KESTAL\\Morvo\\9.0", "Path", folders_[15], kKeyWow64_32Key);
  std::string good, unused;
  ASSERT_EQ(RunCheck({"which", configs_[0], "--json"}, &good, &unused), 0);
  std::vector<std::string> which_fields;
  const nlohmann::json good_report = nlohmann::json::parse(good);
  for (const auto& field : good_report.items()) which_fields.push_back(field.key());
  const struct {
    std::vector<ProcessArgument> arguments;
    bool out_of_memory;  // the first registry key opened throws
    const char* error;
    std::string file;  // the FILE the report names, in UTF-8; "" for none
  } cases[] = {
      {{"which", lookalike, "--json"}, false, "outside the ANSI code page", lookalike.utf8},
      {{"which", lookalike}, false, "outside the ANSI code page", lookalike.utf8},
      {{"versions", "--json"}, true, "the check itself failed", ""},
      {{"association", "--json"}, true, "the check itself failed", ""},
      {{"which", configs_[0], "--json"}, true, "the check itself failed", configs_[0]},
      {{"versions"}, true, "the check itself failed", ""},
  };
  for (const auto& c : cases) {
    ResetHostPlatform();
    WriteString(kLocalMachine, "SOFTWARE\\KESTAL\\Morvo\\9.0", "Path", folders_[15], kKeyWow64_32Key);
    if (c.out_of_memory) FailCall("OpenRegistryKey", 1, kThrowOutOfMemory);
    ClearRecordedCalls();
    const bool json = c.arguments.back().text == "--json";
    const std::string where = c.arguments[0].text + (json ? " --json" : "");
    std::string out, err;
    EXPECT_EQ(RunCheck(c.arguments, &out, &err), 1) << where;
    EXPECT_EQ(FiredFaults(), c.out_of_memory ? 1 : 0) << where;
    const std::string& message = json ? out : err;
    EXPECT_EQ(json ? err : out, "") << where;
    EXPECT_NE(message.find(c.error), std::string::npos) << where << ": " << message;
    if (json) {
      nlohmann::json report = nlohmann::json::parse(out);  // exactly one object
      std::vector<std::string> fields;
      for (const auto& field : report.items()) fields.push_back(field.key());
      if (c.file.empty()) {
        EXPECT_EQ(fields, std::vector<std::string>{"error"}) << out;
      } else {
        // One shape for every `which` object: all its fields, null or empty.
        EXPECT_EQ(fields, which_fields) << out;
        EXPECT_EQ(report["file"], c.file) << out;
        EXPECT_EQ(report["exit_code"], -1) << out;
        EXPECT_TRUE(report["command_line"].is_null()) << out;
        EXPECT_TRUE(report["candidates"].empty()) << out;
      }
    } else if (!c.file.empty()) {
      EXPECT_NE(err.find(c.file), std::string::npos) << err;
    }
    if (c.arguments.size() > 1 && !c.arguments[1].exact) {
      for (const PlatformCall& call : RecordedCalls()) EXPECT_NE(call.function, "ReadTextFile") << where;
    }
  }
  // The launcher ends an exception in -1, whatever its job.
  for (const std::string& command_line : {std::string("x.exe /regserver"), "x.exe \"" + configs_[0] + "\""}) {
    ResetHostPlatform();
    FailCall("OpenRegistryKey", 1, kThrowOutOfMemory);
    EXPECT_EQ(RunLauncher(command_line.c_str()), -1) << command_line;
    EXPECT_EQ(FiredFaults(), 1) << command_line;
    EXPECT_TRUE(StartedPrograms().empty());
  }
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
