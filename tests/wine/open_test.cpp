// Opening configurations with the real program against Wine's registry and
// file system: installations are written into the registry's 32-bit view and
// the stub tool is copied into their folders under the tools' names.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

#include "platform/platform.h"
#include "tests/support/registry_helpers.h"
#include "tests/wine/harness.h"

namespace {

using nlohmann::json;

const std::string kMorvo = "SOFTWARE\\KESTAL\\Morvo";
const std::string kTessaline = "SOFTWARE\\KESTAL\\Tessaline";

class OpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", kKeyWow64_32Key));
    ASSERT_TRUE(RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", kKeyWow64_64Key));
    folder_ = ScratchFolder("open tests");
    WriteBytes(folder_ + "\\my configs\\model.cfg", "\xefMorvo 10 configuration\r\n");
    WriteBytes(folder_ + "\\my configs\\part.cfg", "\xefTessaline part\r\n");
    ClearStubStarts();
  }
  void TearDown() override {
    RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", kKeyWow64_32Key);
    RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", kKeyWow64_64Key);
  }

  // Registers a version and installs the stub as its builds ("32", "64").
  std::string Install(const std::string& root, const std::string& version,
                      const std::string& builds, const std::string& prefix = "Morvo",
                      uint32_t view = kKeyWow64_32Key) {
    std::string home = folder_ + "\\Program Files\\" + root.substr(16) + " " + version;
    for (const char* bits : {"32", "64"}) {
      if (builds.find(bits) != std::string::npos) {
        InstallStub(home + "\\Exec" + bits + "\\" + prefix + bits + ".exe");
      }
    }
    EXPECT_TRUE(WriteString(kLocalMachine, root + "\\" + version, "Path", home, view));
    return home;
  }

  // Opens the configuration; ZandrellCheck's prediction must match what
  // the launcher then does.
  int Open(const std::string& config) {
    const std::string path = folder_ + "\\my configs\\" + config;
    const std::string predicted = CheckPrediction(path);
    int result = StartLauncher("\"" + path + "\"");
    std::vector<std::string> starts = StubStarts();
    EXPECT_EQ(predicted, result == 0 && !starts.empty()
                             ? starts.back().substr(starts.back().rfind('\t') + 1)
                             : std::to_string(result))
        << config;
    return result;
  }

  // The executable the stub was started as, below the scratch folder.
  std::string Started() {
    std::vector<std::string> starts = StubStarts();
    if (starts.size() != 1) return "<" + std::to_string(starts.size()) + " starts>";
    std::string exe = starts[0].substr(0, starts[0].find('\t'));
    return exe.substr(folder_.size() + 1);
  }

  std::string folder_;
};

TEST_F(OpenTest, StartsTheNewestVersionIn64BitWhereItCan) {
  Install(kMorvo, "9.5", "32 64");
  Install(kMorvo, "8.10", "32 64");
  Install(kMorvo, "10.0", "32");
  EXPECT_EQ(Open("model.cfg"), 0);
  EXPECT_EQ(Started(), "Program Files\\Morvo 10.0\\Exec32\\Morvo32.exe");
  Install(kMorvo, "10.0", "32 64");
  ClearStubStarts();
  EXPECT_EQ(Open("model.cfg"), 0);
  EXPECT_EQ(Started(), "Program Files\\Morvo 10.0\\Exec64\\Morvo64.exe");
}

// On 64-bit Windows, what only the 64-bit view holds is never seen; 32-bit
// Windows has one view, which holds it.
TEST_F(OpenTest, SeesOnlyThe32BitRegistryView) {
  const bool two_views = RegistryHasTwoViews();
  Install(kMorvo, "9.5", "32 64", "Morvo", kKeyWow64_64Key);
  EXPECT_EQ(Open("model.cfg"), two_views ? -1 : 0);
  Install(kMorvo, "9.4", "32");
  ClearStubStarts();
  EXPECT_EQ(Open("model.cfg"), 0);
  EXPECT_EQ(Started(), two_views ? "Program Files\\Morvo 9.4\\Exec32\\Morvo32.exe"
                                 : "Program Files\\Morvo 9.5\\Exec64\\Morvo64.exe");
}

TEST_F(OpenTest, ABuildThatCannotStartFailsWithoutFallingBack) {
  std::string home = Install(kMorvo, "9.5", "32");
  WriteBytes(home + "\\Exec64\\Morvo64.exe", "not a program");
  EXPECT_EQ(Open("model.cfg"), -1);
  EXPECT_EQ(Started(), "<0 starts>");
}

TEST_F(OpenTest, TessalineSearchesBothRootsAndPrefersItsOwn) {
  Install(kMorvo, "3.1", "32 64", "Quin");
  Install(kMorvo, "3.0", "64", "Quin");
  EXPECT_EQ(Open("part.cfg"), 0);
  EXPECT_EQ(Started(), "Program Files\\Morvo 3.1\\Exec64\\Quin64.exe");
  Install(kTessaline, "3.1", "64", "Quin");
  Install(kTessaline, "99.0", "32 64", "Morvo");  // Tessaline's root never serves Morvo
  ClearStubStarts();
  EXPECT_EQ(Open("part.cfg"), 0);
  EXPECT_EQ(Started(), "Program Files\\Tessaline 3.1\\Exec64\\Quin64.exe");
  ClearStubStarts();
  EXPECT_EQ(Open("model.cfg"), -1);
}

TEST_F(OpenTest, TheToolGetsBothPathsQuotedAndUnchanged) {
  std::string home = Install(kMorvo, "9.5", "64");
  EXPECT_EQ(Open("model.cfg"), 0);
  std::vector<std::string> starts = StubStarts();
  ASSERT_EQ(starts.size(), 1u);
  std::string exe = home + "\\Exec64\\Morvo64.exe";
  EXPECT_EQ(starts[0], exe + "\t1\t\"" + exe + "\" \"" + folder_ + "\\my configs\\model.cfg\"");

  // A relative path stays relative: the tool resolves it where we were started.
  ClearStubStarts();
  ASSERT_TRUE(SetCurrentDirectoryA((folder_ + "\\my configs").c_str()));
  EXPECT_EQ(StartLauncher("\"model.cfg\""), 0);
  starts = StubStarts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0], exe + "\t1\t\"" + exe + "\" \"model.cfg\"");
  SetCurrentDirectoryA(BuildFolder().c_str());
}

// The shell starts the launcher in the document's folder. A "Path" that is
// no full folder path would be looked for from there (or from the root of
// its drive), where a downloaded archive may carry a program of that name:
// such a version is passed over, the next one is started, and the check
// says why.
TEST_F(OpenTest, AToolBesideTheDocumentIsNeverStarted) {
  const std::string docs = folder_ + "\\docs";
  const std::string drive_root = folder_.substr(0, 2) + "\\zandrell-planted";
  const struct {
    std::string path;     // as registered
    std::string planted;  // where the launcher would look for it
  } cases[] = {
      {"tools", docs + "\\tools"},
      {".\\tools", docs + "\\tools"},
      {folder_.substr(0, 2) + "tools", docs + "\\tools"},  // "C:tools": the current folder of drive C:
      {"\\zandrell-planted", drive_root},
  };
  Install(kMorvo, "9.5", "32");
  WriteBytes(docs + "\\m.cfg", "\xefMorvo model\r\n");
  for (const auto& c : cases) {
    InstallStub(c.planted + "\\Exec32\\Morvo32.exe");
    ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\10.0", "Path", c.path, kKeyWow64_32Key));
    ASSERT_TRUE(SetCurrentDirectoryA(docs.c_str()));
    ClearStubStarts();
    json report;
    std::string output;
    RunCapturing("\"" + BuildFolder() + "\\ZandrellCheck.exe\" which \"" + docs + "\\m.cfg\" --json", &output);
    const int result = StartLauncher("\"" + docs + "\\m.cfg\"");
    SetCurrentDirectoryA(BuildFolder().c_str());
    std::filesystem::remove_all(PathFromAnsi(c.planted));
    EXPECT_EQ(result, 0) << c.path;
    EXPECT_EQ(Started(), "Program Files\\Morvo 9.5\\Exec32\\Morvo32.exe") << c.path;
    report = json::parse(output);
    EXPECT_EQ(report["exe"], Utf8(folder_ + "\\Program Files\\Morvo 9.5\\Exec32\\Morvo32.exe")) << c.path;
    std::string text;
    RunCapturing("\"" + BuildFolder() + "\\ZandrellCheck.exe\" which \"" + docs + "\\m.cfg\"", &text);
    EXPECT_NE(text.find("10.0:  \"Path\" is not a full folder path: the launcher would look for the tool "
                        "relative to its current folder"),
              std::string::npos)
        << c.path << "\n" << text;
  }
}

TEST_F(OpenTest, NothingInstalledIsAFailure) {
  EXPECT_EQ(Open("model.cfg"), -1);
  EXPECT_EQ(Open("part.cfg"), -1);
  EXPECT_EQ(Started(), "<0 starts>");
}

}  // namespace
