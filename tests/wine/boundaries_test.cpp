// The real program at the edges that the system decides: key names of the
// longest length, installation folders that just fill or overflow the
// buffer they are read into, and configuration paths beyond ASCII and close
// to MAX_PATH. Each case either starts the right tool with exactly the right
// command line or ends with -1 and starts nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/registry_helpers.h"
#include "tests/wine/harness.h"

namespace {

const std::string kMorvo = "SOFTWARE\\KESTAL\\Morvo";
constexpr uint32_t k32 = kKeyWow64_32Key;

class BoundariesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", k32));
    folder_ = ScratchFolder("boundaries");
    home_ = folder_ + "\\Morvo 9.5";
    exe_ = home_ + "\\Exec64\\Morvo64.exe";
    InstallStub(exe_);
    config_ = folder_ + "\\model.cfg";
    WriteBytes(config_, "\xefMorvo\r\n");
    ClearStubStarts();
  }
  void TearDown() override { RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", k32); }

  // Opens `config` and returns what happened: "-1" with nothing started, or
  // the started executable's command line; anything else shows as it is.
  std::string Open(const std::string& config) {
    ClearStubStarts();
    const std::string predicted = CheckPrediction(config);
    int result = StartLauncher("\"" + config + "\"");
    std::vector<std::string> started = StubStarts();
    EXPECT_EQ(predicted, result == 0 && started.size() == 1
                             ? started[0].substr(started[0].rfind('\t') + 1)
                             : std::to_string(result))
        << "ZandrellCheck's prediction for " << config;
    std::vector<std::string> starts = StubStarts();
    if (result == -1 && starts.empty()) return "-1";
    if (result != 0 || starts.size() != 1) {
      return "exit " + std::to_string(result) + " with " + std::to_string(starts.size()) + " starts";
    }
    return starts[0].substr(starts[0].rfind('\t') + 1);
  }

  std::string Expected(const std::string& config) { return "\"" + exe_ + "\" \"" + config + "\""; }

  // Creates a subkey of the Morvo root through the root's own handle, as a
  // path from HKLM this long is refused.
  void CreateUnderRoot(const std::string& name) {
    RegistryKey root = nullptr, child = nullptr;
    ASSERT_EQ(CreateRegistryKey(kLocalMachine, kMorvo.c_str(), kKeyAllAccess | k32, &root), 0);
    ASSERT_EQ(CreateRegistryKey(root, name.c_str(), kKeyAllAccess | k32, &child), 0) << name.size();
    CloseRegistryKey(child);
    CloseRegistryKey(root);
  }

  std::string folder_, home_, exe_, config_;
};

// Enumeration meets the long name before "9.5": one of 254 characters is
// read and passed over, one of 255 does not fit the name buffer and ends the
// scan of the root with nothing found.
TEST_F(BoundariesTest, AKeyNameOf255CharactersEndsTheRoot) {
  const struct {
    size_t length;
    bool started;
  } cases[] = {{254, true}, {255, false}};
  for (const auto& c : cases) {
    ASSERT_TRUE(RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", k32));
    ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\9.5", "Path", home_, k32));
    CreateUnderRoot("5" + std::string(c.length - 1, 'x'));
    EXPECT_EQ(Open(config_), c.started ? Expected(config_) : "-1") << c.length;
  }
}

// "Path" read into a buffer of 260 bytes: what fits with its terminator is
// used up to the first zero; what doesn't fit is never used cut short.
TEST_F(BoundariesTest, PathDataOf259And260Bytes) {
  auto padded = [&](size_t size, char fill, char last) {
    std::string data = home_ + '\0';
    data.resize(size - 1, fill);
    return data + last;
  };
  const std::string bare = home_ + "\\" + std::string(259 - home_.size() - 1, 'x');
  const struct {
    const char* name;
    uint32_t type;
    std::string data;
    bool started;
  } cases[] = {
      {"259 bytes, terminated", kRegSz, padded(259, '\0', '\0'), true},
      {"260 bytes, terminated", kRegSz, padded(260, '\0', '\0'), true},
      {"259 bytes, unterminated", kRegSz, padded(259, 'x', 'x'), true},  // the terminator added fits
      {"260 bytes, unterminated", kRegSz, padded(260, 'x', 'x'), false}, // it doesn't
      {"259 characters and a terminator", kRegSz, bare + '\0', false},    // the exe's path is too long
      {"259 characters", kRegSz, bare, false},
      {"260 binary bytes, no zero at all", kRegBinary, std::string(260, 'x'), false},
      {"260 binary bytes, zero inside", kRegBinary, padded(260, 'x', 'x'), true},
      {"261 binary bytes", kRegBinary, padded(261, 'x', 'x'), false},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteValue(kLocalMachine, kMorvo + "\\9.5", "Path", c.type, c.data, k32)) << c.name;
    EXPECT_EQ(Open(config_), c.started ? Expected(config_) : "-1") << c.name;
  }
}

// Paths in the ANSI code page reach the tool byte for byte; a path the
// system's ANSI calls cannot handle any more starts nothing.
TEST_F(BoundariesTest, ConfigurationPathsBeyondAsciiAndNearMaxPath) {
  ASSERT_EQ(GetACP(), 1252u) << "the cases are written in code page 1252";
  ASSERT_TRUE(WriteString(kLocalMachine, kMorvo + "\\9.5", "Path", home_, k32));
  const std::string deep = folder_ + "\\" + std::string(100, 'd') + "\\";
  ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
  auto of_length = [&](size_t length) { return deep + std::string(length - deep.size() - 4, 'n') + ".cfg"; };
  const struct {
    std::string path;
    bool must_start;  // otherwise -1 is right too
  } cases[] = {
      {folder_ + "\\Gr\xf6\xdf" "e.cfg", true},
      {folder_ + "\\\xc0 la \xe9t\xe9 \x80 \xff.cfg", true},
      {of_length(200), true},
      {of_length(259), true},  // the longest a path may be with its terminator
      {of_length(260), false},
  };
  for (const auto& c : cases) {
    HANDLE file = CreateFileA(c.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, "\xefMorvo\r\n", 8, &written, nullptr);
      CloseHandle(file);
    }
    ASSERT_TRUE(file != INVALID_HANDLE_VALUE || !c.must_start) << c.path;
    std::string outcome = Open(c.path);
    if (c.must_start || outcome != "-1") {
      EXPECT_EQ(outcome, Expected(c.path)) << c.path.size();
    }
    DeleteFileA(c.path.c_str());
  }
}

}  // namespace
