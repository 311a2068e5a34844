// What each job does when a name it would act on has no exact form in the
// ANSI code page: it never acts on a look-alike, and it always ends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/launcher.h"
#include "association/association.h"
#include "platform/host/host_platform.h"
#include "tests/support/outside_code_page.h"
#include "tests/support/registry_helpers.h"

namespace {

namespace fs = std::filesystem;

const std::string kMorvo = "SOFTWARE\\KESTAL\\Morvo";
const std::string kOutside = "\xce\xa9mega";  // "Ωmega" in UTF-8

class OutsideCodePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetHostPlatform();
    base_ = fs::temp_directory_path() / ("outside-" + std::to_string(getpid()));
    fs::remove_all(base_);
    for (const char* version : {"9.5", "10.0"}) {
      fs::create_directories(base_ / version / "Exec32");
      std::ofstream(base_ / version / "Exec32" / "Morvo32.exe") << "MZ";
    }
    config_ = AsWindowsPath(base_ / "model.cfg");
    std::ofstream(base_ / "model.cfg") << "xMorvo\n";
  }
  void TearDown() override {
    EXPECT_EQ(OpenKeyCount(), 0);
    fs::remove_all(base_);
  }
  fs::path base_;
  std::string config_;
};

TEST_F(OutsideCodePageTest, ACommandLineThatDoesNotConvertStartsNothing) {
  ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\9.5", "Path", AsWindowsPath(base_ / "9.5"), kKeyWow64_32Key));
  SetProcessCommandLine("x.exe \"" + config_ + "\"", false);
  EXPECT_EQ(RunLauncher(GetProcessCommandLine()), -1);
  EXPECT_TRUE(StartedPrograms().empty());
}

// The newest version's folder can't be named: the version is passed over,
// as one without a usable "Path" is.
TEST_F(OutsideCodePageTest, AVersionWhosePathDoesNotConvertIsPassedOver) {
  ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\9.5", "Path", AsWindowsPath(base_ / "9.5"), kKeyWow64_32Key));
  ASSERT_TRUE(WriteStringOutsideCodePage(kLocalMachine, kMorvo + "\\10.0", "Path",
                                         AsWindowsPath(base_ / "10.0") + kOutside, kKeyWow64_32Key));
  EXPECT_EQ(OpenConfigurationFile(config_.c_str()), 0);
  ASSERT_EQ(StartedPrograms().size(), 1u);
  const std::string exe = AsWindowsPath(base_ / "9.5" / "Exec32" / "Morvo32.exe");
  EXPECT_EQ(StartedPrograms()[0].command_line, "\"" + exe + "\" \"" + config_ + "\"");
}

TEST_F(OutsideCodePageTest, RegistrationFromAPathThatDoesNotConvertWritesNoCommand) {
  SetOwnModulePath("C:\\Omega\\ZandrellLauncher.exe", false);
  EXPECT_EQ(RegisterAssociation(), -1);
  EXPECT_EQ(ClassesDefaultValue("Zandrell.Launcher.1\\Shell\\Open\\Command"), "<none>");
  EXPECT_EQ(AssociationNotifications(), 0);
}

// A subkey that can't be named can't be deleted: the removal ends with -1
// instead of "deleting" its look-alike for ever. So does a subkey that comes
// first again twice although its deletion was reported each time; once is
// forgiven (it may have been gone for a moment).
TEST_F(OutsideCodePageTest, RemovalEndsOnASubkeyItCannotDelete) {
  const struct {
    const char* name;
    bool outside;      // a subkey ShellEx\Ωmega
    int gone_reports;  // opens of .cfg\ShellEx in a row that report "not found"
    int result;
  } cases[] = {
      {"name outside the code page", true, 0, -1},
      {"reported gone twice, still there", false, 2, -1},
      {"reported gone once", false, 1, 0},
  };
  for (const auto& c : cases) {
    ResetHostPlatform();
    ASSERT_EQ(RegisterAssociation(), 0);
    ASSERT_TRUE(WriteKey(kClassesRoot, ".cfg\\ShellEx\\Sub"));
    if (c.outside) {
      ASSERT_TRUE(WriteKeyOutsideCodePage(kClassesRoot, ".cfg\\ShellEx", kOutside));
    }
    // The first open is of the machine's classes key, the second of .cfg
    // itself, the third of .cfg\ShellEx.
    if (c.gone_reports > 0) FailCall("OpenRegistryKey", 3, kErrorFileNotFound, c.gone_reports);
    EXPECT_EQ(UnregisterAssociation(), c.result) << c.name;
    EXPECT_EQ(KeyExists(kClassesRoot, ".cfg"), c.result != 0) << c.name;
    EXPECT_EQ(KeyExists(kClassesRoot, "Zandrell.Launcher.1"), c.result != 0) << c.name;
    EXPECT_EQ(OpenKeyCount(), 0) << c.name;
  }
}

}  // namespace
