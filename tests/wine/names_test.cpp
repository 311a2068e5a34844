// Names beyond the ANSI code page, under code page 1252 (the tests' default
// locale) and again under 932 and 65001 (ctest runs this suite in
// ja_JP.UTF-8 and in hi_IN.UTF-8 too: Hindi has no ANSI code page of its own,
// so Wine makes UTF-8 the ANSI code page, as Windows' "use Unicode UTF-8"
// option does). The check program is asked first and held to what the
// launcher then does.
// The system hands an ANSI program such a name as a best-fit look-alike
// ("ā" as "a"); each case puts that look-alike in the launcher's way, and
// the launcher must act on the very name or on nothing at all. Names the code
// page holds, double-byte ones whose second byte reads as a backslash among
// them, keep working.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/outside_code_page.h"
#include "tests/support/registry_helpers.h"
#include "tests/wine/harness.h"

namespace {

namespace fs = std::filesystem;

const std::string kMorvo = "SOFTWARE\\KESTAL\\Morvo";
const std::string kTessaline = "SOFTWARE\\KESTAL\\Tessaline";
const std::string kProgId = "Zandrell.Launcher.1";
constexpr uint32_t k32 = kKeyWow64_32Key;

struct Name {
  const char* utf8;
  bool in_1252;
  bool in_932;
};

const Name kNames[] = {
    {"\xc4\x81lpha", false, false},                         // "ālpha"
    {"\xce\xa9mega", false, true},                          // "Ωmega"
    {"Gr\xc3\xbc\xc3\x9f" "e", true, false},                // "Grüße"
    {"\xe8\xa1\xa8\xe7\xa4\xba", false, true},              // "表示": 0x95 0x5C 0x8E 0xA6
    {"\xe3\x82\xbd\xe3\x83\x95\xe3\x83\x88", false, true},  // "ソフト": 0x83 0x5C ...
};

// UTF-8 holds every name. In a code page the cases do not list (a Windows
// machine's may be any), a name is held when it comes back whole from the
// code page, best fit allowed: a look-alike would not.
bool InCodePage(const Name& name) {
  if (GetACP() == CP_UTF8) return true;
  if (GetACP() == 932) return name.in_932;
  if (GetACP() == 1252) return name.in_1252;
  const std::wstring wide = FromUtf8(name.utf8);
  char ansi[64] = {};
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
  wchar_t back[64] = {};
  MultiByteToWideChar(CP_ACP, 0, ansi, length, back, 64);
  return wide == back;
}

// What the A calls make of a name: the name itself where the code page holds
// it, its look-alike where it does not.
std::string BestFit(const std::wstring& text) {
  int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &ansi[0], length, nullptr, nullptr);
  ansi.resize(static_cast<size_t>(length - 1));
  return ansi;
}

void WriteFileW(const std::wstring& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
}

void CopyFileTo(const std::string& from, const std::wstring& to) {
  fs::create_directories(fs::path(to).parent_path());
  ASSERT_TRUE(CopyFileW(FromAnsi(from).c_str(), to.c_str(), FALSE));
}

class NamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    folder_ = FromAnsi(ScratchFolder("names"));
    ClearStubStarts();
  }
  void TearDown() override { Clean(); }
  void Clean() {
    for (const Name& name : kNames) {
      ASSERT_TRUE(DeleteKeyOutsideCodePage(kClassesRoot, ".cfg\\ShellEx", name.utf8));
    }
    ASSERT_TRUE(RemoveTree(kClassesRoot, ".cfg"));
    ASSERT_TRUE(RemoveTree(kClassesRoot, kProgId));
    ASSERT_TRUE(RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", k32));
  }

  // Registers a version whose folder may have any name, with the stub as its
  // 32-bit build.
  void Install(const std::string& root, const std::string& version, const std::wstring& home,
               const char* prefix) {
    CopyFileTo(BuildFolder() + "\\stub_tool.exe", home + L"\\Exec32\\" + FromUtf8(prefix) + L"32.exe");
    std::string utf8(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, home.c_str(), -1, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, home.c_str(), -1, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.pop_back();
    ASSERT_TRUE(WriteStringOutsideCodePage(kLocalMachine, root + "\\" + version, "Path", utf8, k32));
  }

  // "-1" when the launcher ended so and started nothing, else the command
  // line of the one tool it started.
  static std::string Outcome(int result) {
    std::vector<std::string> starts = StubStarts();
    ClearStubStarts();
    if (result == -1 && starts.empty()) return "-1";
    if (result != 0 || starts.size() != 1) {
      return "exit " + std::to_string(result) + " with " + std::to_string(starts.size()) + " starts";
    }
    return starts[0].substr(starts[0].rfind('\t') + 1);
  }

  static std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

  int Open(const std::wstring& config) {
    return RunExactW(L"\"" + FromAnsi(LauncherPath()) + L"\" \"" + config + L"\"");
  }

  std::wstring folder_;
};

TEST_F(NamesTest, AConfigurationIsOpenedByItsOwnNameOrNotAtAll) {
  Install(kMorvo, "9.5", folder_ + L"\\Morvo", "Morvo");
  Install(kTessaline, "3.1", folder_ + L"\\Tessaline", "Quin");
  const std::string quin = BestFit(folder_ + L"\\Tessaline\\Exec32\\Quin32.exe");
  std::set<std::vector<std::string>> shapes;
  for (const Name& name : kNames) {
    std::wstring config = folder_ + L"\\" + FromUtf8(name.utf8) + L".cfg";
    WriteFileW(config, "\xefTessaline part\r\n");
    // The look-alike is a Morvo file: opening it would start Morvo.
    std::string lookalike = BestFit(config);
    if (!InCodePage(name) && lookalike.find('?') == std::string::npos) {
      WriteBytes(lookalike, "\xefMorvo model\r\n");
    }
    std::string expected = InCodePage(name) ? Quoted(quin) + " " + Quoted(BestFit(config)) : "-1";
    EXPECT_EQ(CheckPredictionW(config), expected) << name.utf8;
    EXPECT_EQ(Outcome(Open(config)), expected) << name.utf8;
    // The check says so too, and with --json in an object a script can read,
    // naming the file as given.
    std::string output;
    int checked = RunCapturingW(L"\"" + FromAnsi(BuildFolder()) + L"\\ZandrellCheck.exe\" which \"" +
                                    config + L"\" --json", &output);
    nlohmann::json report = nlohmann::json::parse(output, nullptr, false);
    ASSERT_TRUE(report.is_object()) << name.utf8 << ": " << output;
    EXPECT_EQ(checked, InCodePage(name) ? 0 : 1) << name.utf8;
    if (!InCodePage(name)) {
      EXPECT_TRUE(report["error"].is_string()) << name.utf8;
      EXPECT_EQ(report["file"], ToUtf8(config)) << name.utf8;
      EXPECT_EQ(report["exit_code"], -1) << name.utf8;
      EXPECT_TRUE(report["command_line"].is_null()) << name.utf8;
    }
    // One shape for every report, whatever became of the name.
    std::vector<std::string> fields;
    for (const auto& field : report.items()) fields.push_back(field.key());
    shapes.insert(fields);
  }
  EXPECT_EQ(shapes.size(), 1u);
}

TEST_F(NamesTest, AnInstallationFolderIsUsedByItsOwnNameOrPassedOver) {
  Install(kMorvo, "9.5", folder_ + L"\\Morvo 9.5", "Morvo");
  const std::wstring config = folder_ + L"\\model.cfg";
  WriteFileW(config, "\xefMorvo model\r\n");
  for (const Name& name : kNames) {
    std::wstring home = folder_ + L"\\inst\\" + FromUtf8(name.utf8);
    Install(kMorvo, "10.0", home, "Morvo");
    std::string lookalike = BestFit(home);
    if (!InCodePage(name) && lookalike.find('?') == std::string::npos) {
      CopyFileTo(BuildFolder() + "\\stub_tool.exe", FromAnsi(lookalike) + L"\\Exec32\\Morvo32.exe");
    }
    std::wstring used = InCodePage(name) ? home : folder_ + L"\\Morvo 9.5";
    std::string exe = BestFit(used + L"\\Exec32\\Morvo32.exe");
    EXPECT_EQ(CheckPredictionW(config), Quoted(exe) + " " + Quoted(BestFit(config))) << name.utf8;
    EXPECT_EQ(Outcome(Open(config)), Quoted(exe) + " " + Quoted(BestFit(config))) << name.utf8;
  }
}

// The program is named apart from its command line, so that the command
// line itself converts and only the program's own path is in question.
TEST_F(NamesTest, RegistrationNamesTheProgramByItsOwnPathOrFails) {
  for (const Name& name : kNames) {
    std::wstring program = folder_ + L"\\" + FromUtf8(name.utf8) + L"\\ZandrellLauncher.exe";
    CopyFileTo(LauncherPath(), program);
    ASSERT_TRUE(RemoveTree(kClassesRoot, kProgId));
    int result = RunExactW(L"ZandrellLauncher.exe /regserver", program);
    std::string command = ClassesDefaultValue(kProgId + "\\Shell\\Open\\Command");
    if (InCodePage(name)) {
      EXPECT_EQ(result, 0) << name.utf8;
      EXPECT_EQ(command, WithTerminator(Quoted(BestFit(program)) + " \"%1\"")) << name.utf8;
    } else {
      EXPECT_EQ(result, -1) << name.utf8;
      EXPECT_EQ(command, "<none>") << name.utf8;
    }
  }
}

// A subkey that can't be named ends the removal with -1, and ends it: its
// look-alike is nowhere, and "deleting" it used to succeed for ever.
TEST_F(NamesTest, RemovalEndsOnASubkeyItCannotName) {
  for (const Name& name : kNames) {
    ASSERT_EQ(StartLauncher("/regserver"), 0) << name.utf8;
    ASSERT_TRUE(WriteKeyOutsideCodePage(kClassesRoot, ".cfg\\ShellEx", name.utf8)) << name.utf8;
    EXPECT_EQ(StartLauncher("/unregserver"), InCodePage(name) ? 0 : -1) << name.utf8;
    EXPECT_EQ(KeyExists(kClassesRoot, ".cfg\\ShellEx"), !InCodePage(name)) << name.utf8;
    EXPECT_EQ(KeyExists(kClassesRoot, kProgId), !InCodePage(name)) << name.utf8;
    Clean();
  }
}

// A key whose name ends in a double-byte character, with a subkey of its
// own. In code page 932 "表", "ソ" and "能" end in the byte 0x5C (as "許"
// does in 950; in 932 it is 0x8B 0x96): read byte by byte, the key's path
// would seem to end in a backslash already, and its subkeys would be looked
// for under a name that runs on into theirs. In 65001 they are plain UTF-8;
// in 1252 they can't be named at all, and the removal ends with -1.
TEST_F(NamesTest, RemovalEmptiesAKeyWhoseNameEndsInADoubleByteCharacter) {
  const Name kDoubleByte[] = {
      {"\xe8\xa1\xa8", false, true},  // "表": 0x95 0x5C
      {"\xe3\x82\xbd", false, true},  // "ソ": 0x83 0x5C
      {"\xe8\x83\xbd", false, true},  // "能": 0x94 0x5C
      {"\xe8\xa8\xb1", false, true},  // "許": 0x8B 0x96
  };
  for (const Name& name : kDoubleByte) {
    const std::string key = std::string(".cfg\\") + name.utf8;
    ASSERT_EQ(StartLauncher("/regserver"), 0) << name.utf8;
    ASSERT_TRUE(WriteKeyOutsideCodePage(kClassesRoot, key, "sub")) << name.utf8;
    ASSERT_TRUE(WriteKeyOutsideCodePage(kClassesRoot, key + "\\sub", "deeper")) << name.utf8;
    EXPECT_EQ(StartLauncher("/unregserver"), InCodePage(name) ? 0 : -1) << name.utf8;
    EXPECT_EQ(KeyExists(kClassesRoot, ".cfg"), !InCodePage(name)) << name.utf8;
    EXPECT_EQ(KeyExists(kClassesRoot, kProgId), !InCodePage(name)) << name.utf8;
    ASSERT_TRUE(DeleteKeyOutsideCodePage(kClassesRoot, key + "\\sub", "deeper")) << name.utf8;
    ASSERT_TRUE(DeleteKeyOutsideCodePage(kClassesRoot, key, "sub")) << name.utf8;
    ASSERT_TRUE(DeleteKeyOutsideCodePage(kClassesRoot, ".cfg", name.utf8)) << name.utf8;
    Clean();
  }
}

}  // namespace
