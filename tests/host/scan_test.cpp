#include "discovery/scan_installations.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "discovery/version_name.h"
#include "platform/host/host_platform.h"
#include "tests/support/registry_helpers.h"

namespace {

namespace fs = std::filesystem;

const std::string kMorvo = "SOFTWARE\\KESTAL\\Morvo";
const std::string kTessaline = "SOFTWARE\\KESTAL\\Tessaline";

// A registry and a disk with tool installations on them, built a line at a time.
class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetHostPlatform();
    base_ = fs::temp_directory_path() / ("scan-" + std::to_string(getpid()));
    fs::remove_all(base_);
    fs::create_directories(base_);
  }
  void TearDown() override {
    EXPECT_EQ(OpenKeyCount(), 0) << "a key was left open";
    fs::remove_all(base_);
  }

  // Registers `version` under `root` with its folder, and puts the builds
  // named in `builds` ("32", "64", "32 64") there for `prefix`.
  std::string Install(const std::string& root, const std::string& version,
                      const std::string& builds, const std::string& prefix = "Morvo",
                      uint32_t view = kKeyWow64_32Key) {
    std::string folder = (base_ / (root.substr(16) + "-" + version)).string();
    for (const char* bits : {"32", "64"}) {
      if (builds.find(bits) == std::string::npos) continue;
      fs::create_directories(folder + "/Exec" + bits);
      std::ofstream(folder + "/Exec" + bits + "/" + prefix + bits + ".exe") << "MZ";
    }
    EXPECT_TRUE(WriteString(kLocalMachine, root + "\\" + version, "Path", AsWindowsPath(folder), view));
    return folder;
  }

  // The scan's result for `kind`, as "major.minor/bits@root-version" items.
  std::string Scan(ToolKind kind, int* result = nullptr) {
    ClearRecordedCalls();
    CandidateList list;
    InstallCandidate wanted = {};
    wanted.kind = kind;
    int r = ScanInstallations(&list, wanted);
    if (result) *result = r;
    std::string text;
    for (const InstallCandidate& c : list) {
      EXPECT_EQ(c.kind, kind);
      std::string path = c.exe_path;
      std::string where = path.substr(AsWindowsPath(base_.string()).size() + 1);
      where = where.substr(0, where.find('\\'));
      text += std::to_string(c.major) + "." + std::to_string(c.minor) + "/" +
              (c.bitness ? "64" : "32") + "@" + where + " ";
    }
    EXPECT_EQ(r == 0, !list.empty());
    return text;
  }

  bool Opened(const std::string& path) {
    for (const PlatformCall& call : RecordedCalls()) {
      if (call.function == "OpenRegistryKey" && call.argument == path) return true;
    }
    return false;
  }

  fs::path base_;
};

TEST_F(ScanTest, FindsEveryBuildOfEveryVersionInNumberOrder) {
  Install(kMorvo, "9.5", "32 64");
  Install(kMorvo, "10.0", "32");
  Install(kMorvo, "8.10", "64");
  Install(kTessaline, "99.0", "32 64", "Morvo");
  EXPECT_EQ(Scan(kToolMorvo), "8.10/64@Morvo-8.10 9.5/32@Morvo-9.5 9.5/64@Morvo-9.5 10.0/32@Morvo-10.0 ");
  EXPECT_FALSE(Opened(kTessaline));  // a Morvo configuration never looks at Tessaline
}

TEST_F(ScanTest, ReadsOnlyThe32BitView) {
  Install(kMorvo, "9.5", "32 64", "Morvo", kKeyWow64_64Key);
  int result = 0;
  EXPECT_EQ(Scan(kToolMorvo, &result), "");
  EXPECT_EQ(result, -1);
}

TEST_F(ScanTest, TessalineLooksForQuinUnderBothRootsTessalineLast) {
  Install(kMorvo, "3.1", "32 64", "Quin");
  Install(kMorvo, "2.0", "64", "Morvo");  // no Quin build there
  Install(kTessaline, "3.1", "64", "Quin");
  Install(kTessaline, "1.0", "32", "Quin");
  EXPECT_EQ(Scan(kToolTessaline),
            "1.0/32@Tessaline-1.0 3.1/32@Morvo-3.1 3.1/64@Morvo-3.1 3.1/64@Tessaline-3.1 ");
}

TEST_F(ScanTest, SubkeyNamesAreReadAsNumbers) {
  Install(kMorvo, "8.0", "64");
  WriteKey(kLocalMachine, kMorvo + "\\08.00", kKeyWow64_32Key);      // leads to 8.0 again
  WriteKey(kLocalMachine, kMorvo + "\\8.0 SP1", kKeyWow64_32Key);    // and once more
  WriteKey(kLocalMachine, kMorvo + "\\7.0 SP1", kKeyWow64_32Key);    // 7.0 itself is missing
  for (const char* junk : {"Settings", "8", "8,0", "+8.0", "-1.0", "8 .0", "4294967296.0"}) {
    WriteKey(kLocalMachine, kMorvo + "\\" + junk, kKeyWow64_32Key);
  }
  Install(kMorvo, "4294967295.1", "32");
  EXPECT_EQ(Scan(kToolMorvo), "8.0/64@Morvo-8.0 8.0/64@Morvo-8.0 8.0/64@Morvo-8.0 "
                              "4294967295.1/32@Morvo-4294967295.1 ");
}

TEST_F(ScanTest, SkipsVersionsItCannotUseAndGoesOn) {
  WriteKey(kLocalMachine, kMorvo + "\\1.0", kKeyWow64_32Key);  // no "Path"
  std::string folder = Install(kMorvo, "2.0", "32");
  fs::create_directories(folder + "/Exec64/Morvo64.exe");  // a folder in the exe's place counts
  std::string odd = (base_ / "%TOOLS%").string();          // not expanded
  fs::create_directories(odd + "/Exec32/Morvo32.exe");
  WriteValue(kLocalMachine, kMorvo + "\\3.0", "Path", kRegExpandSz, AsWindowsPath(odd) + std::string(1, '\0'),
             kKeyWow64_32Key);
  EXPECT_EQ(Scan(kToolMorvo), "2.0/32@Morvo-2.0 2.0/64@Morvo-2.0 3.0/32@%TOOLS% ");
}

TEST_F(ScanTest, ANameTooLongToReadEndsTheRootButKeepsWhatWasFound) {
  Install(kMorvo, "10.0", "32");
  Install(kMorvo, "9.5", "32");
  WriteKey(kLocalMachine, kMorvo + "\\5" + std::string(254, 'x'), kKeyWow64_32Key);
  EXPECT_EQ(Scan(kToolMorvo), "10.0/32@Morvo-10.0 ");
}

TEST_F(ScanTest, NeverProbesATruncatedPath) {
  // The folder names are relative to nothing that exists: only whether the
  // scan looks at all is of interest here.
  const struct {
    std::string folder;
    ToolKind kind;
    bool probed;
  } cases[] = {
      {std::string(240, 'f'), kToolMorvo, true},
      {std::string(241, 'f'), kToolMorvo, false},
      {std::string(241, 'f'), kToolTessaline, true},
      {std::string(242, 'f'), kToolTessaline, false},
  };
  for (const auto& c : cases) {
    ClearRecordedCalls();
    CandidateList list;
    EXPECT_EQ(ProbeExecutable(c.kind, c.folder.c_str(), 1, 0, kBitness32, &list), -1);
    EXPECT_EQ(RecordedCalls().size(), c.probed ? 1u : 0u) << c.folder.size();
  }
  const struct {
    uint32_t type;
    std::string data;
    bool probed;
  } values[] = {
      {kRegSz, "C:\\f" + std::string(256, '\0'), true},            // 260 bytes, terminated
      {kRegSz, "C:\\" + std::string(237, 'p'), true},                // the terminator is added
      {kRegSz, "C:\\" + std::string(257, 'p'), false},               // no room for one
      {kRegBinary, "C:\\" + std::string(197, 'p'), true},            // the cleared buffer ends it
      {kRegBinary, "C:\\f" + std::string(1, '\0') + std::string(255, 'z'), true},
      {kRegBinary, "C:\\" + std::string(257, 'p'), false},           // fills it: nothing ends it
      {kRegBinary, "C:\\" + std::string(258, 'p'), false},           // more than it holds
  };
  for (const auto& v : values) {
    ResetHostPlatform();
    WriteValue(kLocalMachine, kMorvo + "\\1.0", "Path", v.type, v.data, kKeyWow64_32Key);
    Scan(kToolMorvo);
    int probes = 0;
    for (const PlatformCall& call : RecordedCalls()) probes += call.function == "GetPathAttributes";
    EXPECT_EQ(probes, v.probed ? 2 : 0) << v.data.size();
  }
}

// A folder that Windows would resolve against the current folder (the
// document's, when the shell starts us) or its drive is never looked in: a
// tool planted beside a configuration must not be started. What a full path
// is, is read character by character, so that the second byte of a
// double-byte character is no separator.
TEST_F(ScanTest, LooksOnlyInAFullFolderPath) {
  const struct {
    std::string folder;
    bool probed;
  } cases[] = {
      {"C:\\Tools\\Morvo", true},
      {"c:/Tools/Morvo", true},
      {"Z:\\", true},
      {"A:\\", true},
      {"\\\\server\\share", true},
      {"\\\\server\\share\\Morvo 9.5", true},
      {"//server/share/Morvo", true},
      {"\\\\?\\C:\\Tools", true},
      {"\\\\?\\UNC\\server\\share\\Morvo", true},
      {"\\\\?\\unc\\server\\share", true},
      {"\\\\\x95\x5c\\share", true},  // a server named in code page 932: 0x5C ends no name
      {"", false},
      {"tools", false},
      {".\\tools", false},
      {"..\\tools", false},
      {"\\tools", false},
      {"/tools", false},
      {"C:tools", false},
      {"C:", false},
      {"1:\\tools", false},
      {"\\\\server", false},
      {"\\\\server\\", false},
      {"\\\\\\share", false},
      {"\\\\?\\tools", false},
      {"\\\\?\\C:/Tools", false},  // behind \\?\ a slash separates nothing
      {"\\\\?\\UNC\\server", false},
      {"\\\\?\\UNC\\server/share", false},
      {"%SystemDrive%\\Tools", false},
  };
  for (const auto& c : cases) {
    ResetHostPlatform();
    SetLeadBytes(0x81, 0x9F);
    WriteString(kLocalMachine, kMorvo + "\\9.5", "Path", c.folder, kKeyWow64_32Key);
    Scan(kToolMorvo);
    std::vector<std::string> probed;
    for (const PlatformCall& call : RecordedCalls()) {
      if (call.function == "GetPathAttributes") probed.push_back(call.argument);
    }
    std::vector<std::string> expected;
    if (c.probed) expected = {c.folder + "\\Exec32\\Morvo32.exe", c.folder + "\\Exec64\\Morvo64.exe"};
    EXPECT_EQ(probed, expected) << "\"" << c.folder << "\"";
  }
}

TEST_F(ScanTest, EachFailingCallHasItsOwnEffectAndClosesEverything) {
  Install(kMorvo, "1.0", "32 64");
  Install(kMorvo, "2.0", "32 64");
  Install(kMorvo, "3.0", "32");
  const std::string all = "1.0/32@Morvo-1.0 1.0/64@Morvo-1.0 2.0/32@Morvo-2.0 2.0/64@Morvo-2.0 3.0/32@Morvo-3.0 ";
  const struct {
    const char* function;
    int occurrence;
    std::string found;
  } cases[] = {
      {"OpenRegistryKey", 1, ""},                              // the root
      {"QuerySubkeyCount", 1, ""},
      {"EnumerateSubkey", 2, "1.0/32@Morvo-1.0 1.0/64@Morvo-1.0 "},
      {"OpenRegistryKey", 3, "1.0/32@Morvo-1.0 1.0/64@Morvo-1.0 3.0/32@Morvo-3.0 "},
      {"QueryRegistryValue", 2, "1.0/32@Morvo-1.0 1.0/64@Morvo-1.0 3.0/32@Morvo-3.0 "},
      {"CloseRegistryKey", 2, "1.0/32@Morvo-1.0 1.0/64@Morvo-1.0 "},  // version 2.0's key
      {"CloseRegistryKey", 4, all},                            // the root, at the end
      {"GetPathAttributes", 3, "1.0/32@Morvo-1.0 1.0/64@Morvo-1.0 2.0/64@Morvo-2.0 3.0/32@Morvo-3.0 "},
  };
  for (const auto& c : cases) {
    FailCall(c.function, c.occurrence, kErrorAccessDenied);
    int fired = FiredFaults();
    EXPECT_EQ(Scan(kToolMorvo), c.found) << c.function << " #" << c.occurrence;
    EXPECT_EQ(FiredFaults(), fired + 1) << c.function << " #" << c.occurrence;
    EXPECT_EQ(OpenKeyCount(), 0) << c.function << " #" << c.occurrence;
  }
}

TEST(ReadVersionName, TakesTwoUnsignedNumbersAroundAFullStop) {
  const struct {
    const char* name;
    int result;
    uint32_t major, minor;
  } cases[] = {
      {"8.0", 0, 8, 0},          {"10.12", 0, 10, 12},     {"08.00", 0, 8, 0},
      {" \t8.0", 0, 8, 0},       {"8. 1", 0, 8, 1},        {"8.0 SP1", 0, 8, 0},
      {"8.1.2", 0, 8, 1},        {"4294967295.4294967295", 0, 4294967295u, 4294967295u},
      {"4294967296.0", -1, 0, 0}, {"8.4294967296", -1, 0, 0}, {"99999999999999999999.1", -1, 0, 0},
      {"8 .0", -1, 0, 0},        {"+8.0", -1, 0, 0},        {"8.-1", -1, 0, 0},
      {"-1.0", -1, 0, 0},        {"8", -1, 0, 0},           {"8.", -1, 0, 0},
      {"8,0", -1, 0, 0},         {"Settings", -1, 0, 0},    {"", -1, 0, 0},
      {".5", -1, 0, 0},
  };
  for (const auto& c : cases) {
    uint32_t major = 7, minor = 7;
    EXPECT_EQ(ReadVersionName(c.name, &major, &minor), c.result) << c.name;
    EXPECT_EQ(major, c.result == 0 ? c.major : 7u) << c.name;
    EXPECT_EQ(minor, c.result == 0 ? c.minor : 7u) << c.name;
  }
}

}  // namespace
