// `ZandrellCheck versions` over registry states: each row one state, and the
// verdict on every version key, what is listed as ignored, and the exit code.
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
#include "tests/support/outside_code_page.h"
#include "tests/support/registry_helpers.h"

namespace {

namespace fs = std::filesystem;

const std::string kMorvo = "SOFTWARE\\KESTAL\\Morvo";
constexpr uint32_t k32 = kKeyWow64_32Key;
constexpr uint32_t k64 = kKeyWow64_64Key;
// Sorts before "9.0" and the like, and is no version: a name the scan's
// buffer cannot take.
const std::string kLongName(255, '1');

class CheckVersions : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetHostPlatform();
    base_ = fs::temp_directory_path() / ("versions-" + std::to_string(getpid()));
    fs::remove_all(base_);
    fs::create_directories(base_ / "good/Exec32");
    fs::create_directories(base_ / "good/Exec64");
    fs::create_directories(base_ / "none");
    std::ofstream(base_ / "good/Exec32/Morvo32.exe") << "MZ";
    std::ofstream(base_ / "good/Exec64/Morvo64.exe") << "MZ";
    good_ = AsWindowsPath(base_ / "good");
    none_ = AsWindowsPath(base_ / "none");
  }
  void TearDown() override {
    fs::remove_all(base_);
    EXPECT_EQ(OpenKeyCount(), 0) << "a key was left open";
  }
  void Install(const std::string& version, uint32_t view = k32, RegistryKey hive = kLocalMachine) {
    ASSERT_TRUE(WriteString(hive, kMorvo + "\\" + version, "Path", good_, view));
  }

  fs::path base_;
  std::string good_, none_;
};

struct Verdict {
  std::string key;      // below the Morvo root
  std::string verdict;  // found on the key's line of the text report
};

TEST_F(CheckVersions, EachRegistryStateGivesItsVerdictsAndExitCode) {
  const struct {
    const char* name;
    std::function<void()> setup;
    std::vector<Verdict> verdicts;  // of the Morvo section, every line
    std::string root_problem;       // of the Morvo root; "" when read whole
    std::vector<std::string> ignored;
    int problems;
    int result;
    std::string text = "";  // the whole text report, where given
    std::string json = "";  // the whole JSON report, where given, GOOD for the folder
  } rows[] = {
      {"nothing installed", [] {}, {}, "not there", {}, 0, 1},
      {"one installation, and settings that are none",
       [&] {
         Install("9.0");
         ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\Settings", "Path", good_, k32));
       },
       {{"9.0", "used"}, {"Settings", "passed over: not a version name (major.minor)"}}, "", {}, 0, 0},
      {"every reason to pass a version over, each in its own words",
       [&] {
         Install("9.0");
         ASSERT_TRUE(WriteKey(kLocalMachine, kMorvo + "\\1.1", k32));
         ASSERT_TRUE(WriteValue(kLocalMachine, kMorvo + "\\1.2", "Path", kRegDword, std::string("\x2a\0\0\0", 4), k32));
         ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\1.3", "Path", "", k32));
         ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\1.4", "Path", none_, k32));
         ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\1.5", "Path", good_ + std::string(260, 'x'), k32));
         ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\1.6", "Path", "C:\\" + std::string(245, 'f'), k32));
         ASSERT_TRUE(WriteValue(kLocalMachine, kMorvo + "\\1.7", "Path", kRegBinary, std::string(260, 'b'), k32));
         ASSERT_TRUE(WriteStringOutsideCodePage(kLocalMachine, kMorvo + "\\1.8", "Path", "C:\\\xc4\x81", k32));
         ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\01.9", "Path", good_, k32));
         ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\2.0", "Path", "tools", k32));
         ASSERT_TRUE(WriteValue(kLocalMachine, kMorvo + "\\2.1", "Path", kRegExpandSz,
                                WithTerminator("%SystemDrive%\\inst\\Morvo 9.0"), k32));
         ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\Settings", "Path", good_, k32));
       },
       {{"9.0", "used"},
        {"1.1", "passed over: no \"Path\" value"},
        {"1.2", "passed over: \"Path\" is not a full folder path: the launcher would look for the tool "
                "relative to its current folder (\"Path\" is stored as registry type 4,"},
        {"1.3", "passed over: \"Path\" is empty, so not a full folder path"},
        {"1.4", "passed over: no Morvo build in its folder"},
        {"1.5", "passed over: \"Path\" is longer than 259 characters"},
        {"1.6", "passed over: the folder's path is too long for its builds"},
        {"1.7", "passed over: \"Path\" fills 260 bytes without ending"},
        {"1.8", "passed over: \"Path\" has a character outside the ANSI code page"},
        {"01.9", "passed over: its numbers lead to the key 1.9, which can't be opened: it does not exist"},
        {"2.0", "passed over: \"Path\" is not a full folder path: the launcher would look for the tool "
                "relative to its current folder"},
        {"2.1", "passed over: \"Path\" is not a full folder path: the launcher would look for the tool "
                "relative to its current folder (\"Path\" is stored as REG_EXPAND_SZ, and the launcher "
                "does not expand its %variables%)"},
        {"Settings", "passed over: not a version name (major.minor)"}},
       "", {}, 11, 1},
      {"installations elsewhere are ignored only when they have a Path",
       [&] {
         Install("9.0");
         Install("11.0", k64);
         ASSERT_TRUE(WriteKey(kLocalMachine, kMorvo + "\\12.0", k64));
         Install("13.0", 0, kCurrentUser);
         ASSERT_TRUE(WriteKey(kCurrentUser, kMorvo + "\\14.0"));
         ASSERT_TRUE(WriteString(kCurrentUser, kMorvo + "\\Settings", "Path", good_));
       },
       {{"9.0", "used"}}, "",
       {"HKLM\\" + kMorvo + "\\11.0 (64-bit)", "HKCU\\" + kMorvo + "\\13.0"}, 2, 1},
      {"the whole of one report",
       [&] {
         Install("9.0");
         ASSERT_TRUE(WriteKey(kLocalMachine, kMorvo + "\\1.1", k32));
         Install("11.0", k64);
         Install("13.0", 0, kCurrentUser);
       },
       {{"1.1", "passed over: no \"Path\" value"}, {"9.0", "used"}}, "",
       {"HKLM\\" + kMorvo + "\\11.0 (64-bit)", "HKCU\\" + kMorvo + "\\13.0"}, 3, 1,
       "For Morvo files the launcher reads HKLM\\SOFTWARE\\KESTAL\\Morvo (32-bit view), looking for Morvo builds:\n"
       "  key  version  32-bit  64-bit  verdict                       Path\n"
       "  1.1  1.1      -       -       passed over: no \"Path\" value\n"
       "  9.0  9.0      found   found   used                          " + good_ + "\n"
       "  It would start Morvo 9.0, 64-bit: " + good_ + "\\Exec64\\Morvo64.exe\n"
       "For Tessaline files the launcher reads HKLM\\SOFTWARE\\KESTAL\\Morvo, then "
       "HKLM\\SOFTWARE\\KESTAL\\Tessaline (32-bit view), looking for Quin builds:\n"
       "  key        version  32-bit   64-bit   verdict                                   Path\n"
       "  Tessaline                             not there\n"
       "  Morvo\\1.1  1.1      -        -        passed over: no \"Path\" value\n"
       "  Morvo\\9.0  9.0      missing  missing  passed over: no Quin build in its folder  " + good_ + "\n"
       "  It would start nothing: no build of it is installed where the launcher looks\n"
       "Installations the launcher does not see:\n"
       "  ignored: HKLM\\SOFTWARE\\KESTAL\\Morvo\\11.0 (64-bit view), Path " + good_ +
           ": the launcher, a 32-bit program, reads the 32-bit registry view only\n"
       "  ignored: HKCU\\SOFTWARE\\KESTAL\\Morvo\\13.0, Path " + good_ +
           ": the launcher reads HKEY_LOCAL_MACHINE only, never one user's keys\n",
       R"json({"tools": [
         {"tool": "Morvo",
          "roots": [{"key": "HKLM\\SOFTWARE\\KESTAL\\Morvo", "found": true, "problem": null}],
          "installations": [
            {"key": "HKLM\\SOFTWARE\\KESTAL\\Morvo\\1.1", "version": "1.1", "path": null, "builds": [],
             "verdict": "passed over", "reason": "no \"Path\" value", "note": null},
            {"key": "HKLM\\SOFTWARE\\KESTAL\\Morvo\\9.0", "version": "9.0", "path": "GOOD",
             "builds": [{"bits": 32, "exe": "GOOD\\Exec32\\Morvo32.exe", "exists": true},
                        {"bits": 64, "exe": "GOOD\\Exec64\\Morvo64.exe", "exists": true}],
             "verdict": "used", "reason": null, "note": null}],
          "would_start": {"version": "9.0", "bits": 64, "exe": "GOOD\\Exec64\\Morvo64.exe"}},
         {"tool": "Tessaline",
          "roots": [{"key": "HKLM\\SOFTWARE\\KESTAL\\Morvo", "found": true, "problem": null},
                    {"key": "HKLM\\SOFTWARE\\KESTAL\\Tessaline", "found": false, "problem": "not there"}],
          "installations": [
            {"key": "HKLM\\SOFTWARE\\KESTAL\\Morvo\\1.1", "version": "1.1", "path": null, "builds": [],
             "verdict": "passed over", "reason": "no \"Path\" value", "note": null},
            {"key": "HKLM\\SOFTWARE\\KESTAL\\Morvo\\9.0", "version": "9.0", "path": "GOOD",
             "builds": [{"bits": 32, "exe": "GOOD\\Exec32\\Quin32.exe", "exists": false},
                        {"bits": 64, "exe": "GOOD\\Exec64\\Quin64.exe", "exists": false}],
             "verdict": "passed over", "reason": "no Quin build in its folder", "note": null}],
          "would_start": null}],
        "ignored": [
          {"key": "HKLM\\SOFTWARE\\KESTAL\\Morvo\\11.0", "view": "64-bit", "path": "GOOD",
           "reason": "the launcher, a 32-bit program, reads the 32-bit registry view only"},
          {"key": "HKCU\\SOFTWARE\\KESTAL\\Morvo\\13.0", "view": null, "path": "GOOD",
           "reason": "the launcher reads HKEY_LOCAL_MACHINE only, never one user's keys"}],
        "problems": 3})json"},
      // 32-bit Windows has one view: what the 64-bit view flag names is what
      // the launcher reads.
      {"one registry view only",
       [&] {
         SetSeparate64BitView(false);
         Install("9.0");
         Install("11.0", k64);
       },
       {{"11.0", "used"}, {"9.0", "used"}}, "", {}, 0, 0},
      {"a name that can't be read hides no installation after it",
       [&] {
         Install("9.0");
         ASSERT_TRUE(WriteKeyOutsideCodePage(kLocalMachine, kMorvo, "\xc4\x81", k64));
         ASSERT_TRUE(WriteKey(kLocalMachine, kMorvo + "\\" + kLongName, k64));
         Install("11.0", k64);
         ASSERT_TRUE(WriteKeyOutsideCodePage(kCurrentUser, kMorvo, "\xc4\x81", 0));
         Install("13.0", 0, kCurrentUser);
       },
       {{"9.0", "used"}}, "",
       {"HKLM\\" + kMorvo + "\\11.0 (64-bit)", "HKCU\\" + kMorvo + "\\13.0"}, 2, 1},
      {"a name too long for the scan ends it, counted from 1",
       [&] {
         Install("1.0");
         ASSERT_TRUE(WriteKey(kLocalMachine, kMorvo + "\\" + kLongName, k32));
         Install("9.0");
       },
       {{"1.0", "used"}},
       "reading stopped at subkey 2 of 3, whose name is longer than 254 characters", {}, 1, 1},
      {"a name outside the code page ends the scan",
       [&] {
         Install("9.0");
         ASSERT_TRUE(WriteKeyOutsideCodePage(kLocalMachine, kMorvo, "\xc4\x81", k32));
       },
       {}, "reading stopped at subkey 1 of 2, whose name has a character outside the ANSI code page", {},
       1, 1},
      {"a subkey that can't be read ends the scan",
       [&] {
         for (const char* version : {"1.0", "2.0", "3.0", "4.0"}) Install(version);
         // The first enumerations are those of the scan for Morvo files.
         FailCall("EnumerateSubkey", 3, kErrorAccessDenied);
       },
       {{"1.0", "used"}, {"2.0", "used"}}, "reading stopped at subkey 3 of 4: access is denied", {}, 1, 1},
      // Every subkey was read: the root only failed to close.
      {"a root read to its end that can't be closed",
       [&] {
         Install("9.0");
         // The first close is of 9.0's key, the second of the root.
         FailCall("CloseRegistryKey", 2, kErrorInvalidHandle);
       },
       {{"9.0", "used"}}, "could not be closed: error 6", {}, 1, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ResetHostPlatform();
    row.setup();
    std::string text, json, err;
    int result = RunCheck({"versions"}, &text, &err);
    ResetHostPlatform();
    row.setup();
    EXPECT_EQ(RunCheck({"versions", "--json"}, &json, &err), result);
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(err, "");
    nlohmann::json report = nlohmann::json::parse(json);

    const nlohmann::json& morvo = report["tools"][0];
    const nlohmann::json& problem = morvo["roots"][0]["problem"];
    EXPECT_EQ(problem.is_null() ? "" : problem.get<std::string>(), row.root_problem);
    ASSERT_EQ(morvo["installations"].size(), row.verdicts.size());
    const std::string section = text.substr(0, text.find("For Tessaline files"));
    for (const Verdict& v : row.verdicts) {
      size_t line = section.find("\n  " + v.key + " ");
      ASSERT_NE(line, std::string::npos) << v.key << "\n" << text;
      std::string shown = section.substr(line + 1, section.find('\n', line + 1) - line - 1);
      EXPECT_NE(shown.find(v.verdict), std::string::npos) << shown;
      // The JSON carries the same note on how "Path" is stored.
      const size_t note = v.verdict.find("(\"Path\" is stored as ");
      for (const nlohmann::json& installation : morvo["installations"]) {
        if (installation["key"] != "HKLM\\" + kMorvo + "\\" + v.key) continue;
        EXPECT_EQ(installation["note"].is_string(), note != std::string::npos) << v.key;
        if (note != std::string::npos) {
          std::string expected = v.verdict.substr(note + 1);
          if (expected.back() == ')') expected.pop_back();
          EXPECT_EQ(installation["note"].get<std::string>().substr(0, expected.size()), expected) << v.key;
        }
      }
    }
    std::vector<std::string> ignored;
    for (const nlohmann::json& entry : report["ignored"]) {
      ignored.push_back(entry["key"].get<std::string>() +
                        (entry["view"].is_null() ? "" : " (" + entry["view"].get<std::string>() + ")"));
    }
    EXPECT_EQ(ignored, row.ignored);
    EXPECT_EQ(report["problems"], row.problems);
    if (!row.text.empty()) {
      EXPECT_EQ(text, row.text);
    }
    if (!row.json.empty()) {
      std::string expected = row.json, folder;
      for (char c : good_) folder += c == '\\' ? std::string("\\\\") : std::string(1, c);
      for (size_t at; (at = expected.find("GOOD")) != std::string::npos;) expected.replace(at, 4, folder);
      EXPECT_EQ(report, nlohmann::json::parse(expected));
    }
    // Nothing to start for Morvo files: the report says so.
    EXPECT_EQ(morvo["would_start"].is_null(),
              text.find("It would start nothing") < text.find("For Tessaline files"));
  }
}

}  // namespace
