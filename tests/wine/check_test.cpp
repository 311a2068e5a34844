// ZandrellCheck.exe against Wine's registry and file system: what `which`
// predicts is what the launcher then does, `versions` explains every
// installation (including those the launcher can't see) and `association`
// tells a sound association from a broken one. The JSON is parsed, not
// compared as text.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <map>

#include "platform/platform.h"
#include "tests/support/registry_helpers.h"
#include "tests/wine/harness.h"

namespace {

using nlohmann::json;

const std::string kMorvo = "SOFTWARE\\KESTAL\\Morvo";
const std::string kTessaline = "SOFTWARE\\KESTAL\\Tessaline";
const std::string kProgId = "Zandrell.Launcher.1";
const std::string kUserChoice =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.cfg";
// Where Explorer keeps a program picked in "Open with" by browsing to it.
const std::string kPickedInExplorer = "Applications\\ZandrellLauncher.exe";

// The folder 64-bit programs are installed in, which Explorer calls
// %ProgramFiles%: a 32-bit program finds it in %ProgramW6432% on 64-bit
// Windows, and in %ProgramFiles% where there is nothing but 32 bits.
std::string NativeProgramFiles() {
  char folder[MAX_PATH] = {};
  if (GetEnvironmentVariableA("ProgramW6432", folder, sizeof folder) == 0) {
    GetEnvironmentVariableA("ProgramFiles", folder, sizeof folder);
  }
  return folder;
}

// A launcher of the test's own in the Windows folder's System32, as Explorer
// (a native program) and the command name it, and where this 32-bit test
// reaches the native System32 (through Sysnative) and the 32-bit one.
std::string WindowsFolder() {
  char folder[MAX_PATH] = {};
  GetSystemWindowsDirectoryA(folder, MAX_PATH);
  return folder;
}
const std::string kSystemLauncher = "\\System32\\ZandrellLauncher check test.exe";
std::string NativeSystemLauncher() {
  return WindowsFolder() + (RegistryHasTwoViews() ? "\\Sysnative" : "\\System32") +
         "\\ZandrellLauncher check test.exe";
}
std::string Wow64SystemLauncher() { return WindowsFolder() + "\\SysWOW64\\ZandrellLauncher check test.exe"; }

class CheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    folder_ = ScratchFolder("check");
    // Used: Morvo 9.5 in both builds and Tessaline 3.1 in its 64-bit one.
    Install(kLocalMachine, kMorvo + "\\9.5", "Morvo 9.5", "Morvo", "32 64", kKeyWow64_32Key);
    Install(kLocalMachine, kTessaline + "\\3.1", "Tessaline 3.1", "Quin", "64", kKeyWow64_32Key);
    // Passed over: a version whose program has gone, and a key that is no version.
    Install(kLocalMachine, kMorvo + "\\10.0", "Morvo 10.0", "Morvo", "", kKeyWow64_32Key);
    ASSERT_TRUE(WriteKey(kLocalMachine, kMorvo + "\\Settings", kKeyWow64_32Key));
    // Never seen: one in the 64-bit view, one for this user only.
    Install(kLocalMachine, kMorvo + "\\11.0", "Morvo 11.0", "Morvo", "64", kKeyWow64_64Key);
    Install(kCurrentUser, kMorvo + "\\12.0", "Morvo 12.0", "Morvo", "64", 0);
    WriteBytes(folder_ + "\\model.cfg", "\xefMorvo model\r\n");
    WriteBytes(folder_ + "\\part.cfg", "\xefTessaline part\r\n");
    WriteBytes(folder_ + "\\neither.cfg", "\xefmorvo, in small letters\r\n");
    ClearStubStarts();
  }
  void TearDown() override { Clean(); }
  void Clean() {
    for (uint32_t view : {kKeyWow64_32Key, kKeyWow64_64Key}) {
      ASSERT_TRUE(RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", view));
    }
    ASSERT_TRUE(RemoveTree(kCurrentUser, "SOFTWARE\\KESTAL"));
    // The user's own classes first: the merged view deletes where it finds
    // the key, and a .cfg of the user's own overrides the machine's (the
    // test kit puts back what a machine held).
    for (RegistryKey root : {kCurrentUser, kLocalMachine}) {
      ASSERT_TRUE(RemoveTree(root, "Software\\Classes\\.cfg"));
      ASSERT_TRUE(RemoveTree(root, "Software\\Classes\\" + kProgId));
    }
    ASSERT_TRUE(RemoveTree(kCurrentUser, kUserChoice));
    ASSERT_TRUE(RemoveTree(kClassesRoot, kPickedInExplorer));
    DeleteFileA(NativeSystemLauncher().c_str());
    if (RegistryHasTwoViews()) DeleteFileA(Wow64SystemLauncher().c_str());
  }

  void Install(RegistryKey hive, const std::string& key, const std::string& name,
               const std::string& prefix, const std::string& builds, uint32_t view) {
    std::string home = folder_ + "\\" + name;
    CreateDirectoryA(home.c_str(), nullptr);
    for (const char* bits : {"32", "64"}) {
      if (builds.find(bits) != std::string::npos) {
        InstallStub(home + "\\Exec" + bits + "\\" + prefix + bits + ".exe");
      }
    }
    ASSERT_TRUE(WriteString(hive, key, "Path", home, view));
  }

  // Runs the check program with these arguments; its exit code, and its
  // output as parsed JSON when `--json` is among them.
  int Check(const std::string& arguments, json* report = nullptr, std::string* text = nullptr) {
    std::string output;
    int result = RunCapturing("\"" + BuildFolder() + "\\ZandrellCheck.exe\" " + arguments, &output);
    if (report != nullptr) *report = json::parse(output);
    if (text != nullptr) *text = output;
    return result;
  }

  std::string folder_;
};

// `which` predicts, and the launcher then does exactly that.
TEST_F(CheckTest, WhichPredictsWhatTheLauncherDoes) {
  // 32-bit Windows has one registry view: Morvo 11.0, in the 64-bit view
  // elsewhere, is the newest there.
  const char* morvo = RegistryHasTwoViews() ? "Morvo 9.5\\Exec64\\Morvo64.exe" : "Morvo 11.0\\Exec64\\Morvo64.exe";
  const struct {
    const char* file;
    const char* tool;    // null: neither
    const char* exe;     // below the scratch folder; null: nothing started
  } cases[] = {
      {"model.cfg", "Morvo", morvo},
      {"part.cfg", "Tessaline", "Tessaline 3.1\\Exec64\\Quin64.exe"},
      {"neither.cfg", nullptr, nullptr},
      {"missing.cfg", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    const std::string file = folder_ + "\\" + c.file;
    json report;
    int predicted = Check("which \"" + file + "\" --json", &report);
    EXPECT_EQ(predicted, c.exe ? 0 : 1) << c.file;
    EXPECT_EQ(report["file"], Utf8(file)) << c.file;
    EXPECT_EQ(report["tool"], c.tool ? json(c.tool) : json(nullptr)) << c.file;
    EXPECT_EQ(report["exe"], c.exe ? json(Utf8(folder_ + "\\" + c.exe)) : json(nullptr)) << c.file;
    EXPECT_EQ(report["error"].is_null(), c.exe != nullptr) << c.file;
    if (c.exe) {
      ASSERT_FALSE(report["candidates"].empty()) << c.file;
      EXPECT_EQ(report["candidates"].back()["exe"], report["exe"]) << c.file;
      EXPECT_EQ(report["candidates"].back()["bits"], 64) << c.file;
    }

    ClearStubStarts();
    int result = StartLauncher("\"" + file + "\"");
    std::vector<std::string> starts = StubStarts();
    EXPECT_EQ(result, c.exe ? 0 : -1) << c.file;
    ASSERT_EQ(starts.size(), c.exe ? 1u : 0u) << c.file;
    if (c.exe) {
      EXPECT_EQ(Utf8(starts[0].substr(starts[0].rfind('\t') + 1)), report["command_line"]) << c.file;
    }
  }
  // The text says the same for people.
  std::string text;
  EXPECT_EQ(Check("which \"" + folder_ + "\\model.cfg\"", nullptr, &text), 0);
  EXPECT_NE(text.find(std::string("would start ") + (RegistryHasTwoViews() ? "Morvo 9.5" : "Morvo 11.0") +
                      " (64-bit) and exit with 0"),
            std::string::npos)
      << text;
  EXPECT_EQ(Check("which \"" + folder_ + "\\neither.cfg\"", nullptr, &text), 1);
  EXPECT_NE(text.find("case for case"), std::string::npos) << text;
}

TEST_F(CheckTest, VersionsExplainsEveryInstallation) {
  // Where the registry has one view (32-bit Windows), what the 64-bit view
  // holds elsewhere is what the launcher reads, and is used.
  const bool two_views = RegistryHasTwoViews();
  json report;
  EXPECT_EQ(Check("versions --json", &report), 1);  // something is wrong: 10.0, 12.0 (and 11.0)
  const json& morvo = report["tools"][0];
  ASSERT_EQ(morvo["tool"], "Morvo");
  std::map<std::string, std::string> verdicts;
  for (const json& installation : morvo["installations"]) {
    std::string key = installation["key"];
    verdicts[key.substr(key.rfind('\\') + 1)] =
        installation["reason"].is_null() ? "used" : std::string(installation["reason"]);
  }
  std::map<std::string, std::string> expected = {
      {"9.5", "used"},
      {"10.0", "no Morvo build in its folder"},
      {"Settings", "not a version name (major.minor)"},
  };
  if (!two_views) expected["11.0"] = "used";
  EXPECT_EQ(verdicts, expected);
  EXPECT_EQ(morvo["would_start"]["exe"],
            Utf8(folder_ + (two_views ? "\\Morvo 9.5\\Exec64\\Morvo64.exe" : "\\Morvo 11.0\\Exec64\\Morvo64.exe")));
  EXPECT_EQ(report["tools"][1]["would_start"]["exe"], Utf8(folder_ + "\\Tessaline 3.1\\Exec64\\Quin64.exe"));

  std::map<std::string, std::string> ignored;
  for (const json& entry : report["ignored"]) {
    ignored[entry["key"]] = entry["view"].is_null() ? "" : std::string(entry["view"]);
    EXPECT_FALSE(entry["path"].is_null()) << entry["key"];
  }
  std::map<std::string, std::string> expected_ignored = {{"HKCU\\SOFTWARE\\KESTAL\\Morvo\\12.0", ""}};
  if (two_views) expected_ignored["HKLM\\SOFTWARE\\KESTAL\\Morvo\\11.0"] = "64-bit";
  EXPECT_EQ(ignored, expected_ignored);
  EXPECT_EQ(report["problems"], two_views ? 3 : 2);
  // The text says nothing of a 64-bit view where there is none.
  std::string text;
  Check("versions", nullptr, &text);
  EXPECT_EQ(text.find("(64-bit view)") != std::string::npos, two_views) << text;
}

TEST_F(CheckTest, AssociationTellsSoundFromBroken) {
  const std::string moved = folder_ + "\\moved\\ZandrellLauncher.exe";
  const std::string native = NativeProgramFiles() + "\\Zandrell check test\\ZandrellLauncher.exe";
  const std::string blanks = folder_ + "\\Program Files\\ZL\\ZandrellLauncher.exe";
  // The scratch folder's own name has a blank, so the program looked for
  // last before its Program.exe ends at that blank, the last in its path
  // (the temporary folder's own path may have blanks before it).
  const std::string scratch_word = folder_.substr(0, folder_.rfind(' ')) + ".exe";
  auto copy_launcher = [](const std::string& to) {
    std::filesystem::create_directories(PathFromAnsi(to).parent_path());
    ASSERT_TRUE(CopyFileA(LauncherPath().c_str(), to.c_str(), FALSE)) << to;
  };
  auto command = [](const std::string& text, uint32_t type = kRegSz) {
    ASSERT_EQ(StartLauncher("/regserver"), 0);
    ASSERT_TRUE(WriteValue(kClassesRoot, kProgId + "\\Shell\\Open\\Command", "", type, WithTerminator(text)));
  };
  // Our open command, expanded from a variable to `extra` characters more
  // than its own text.
  auto expanding_by = [&](size_t extra) {
    copy_launcher(moved);
    const std::string text = "%ZL_CHECK_COMMAND%";
    std::string expanded = "\"" + moved + "\" \"%1\" ";
    expanded.resize(text.size() + extra, 'p');
    SetEnvironmentVariableA("ZL_CHECK_COMMAND", expanded.c_str());
    command(text, kRegExpandSz);
  };
  const struct {
    const char* name;
    std::function<void()> arrange;
    const char* verdict;
    bool ours;  // the program the machine's open command starts is a launcher of ours
    std::string program;  // what the check names as the program; "" to leave unchecked
    // The last program looked for before it, for an unquoted command with
    // blanks, which is warned of; "" for none.
    std::string last_earlier = "";
  } cases[] = {
      {"nothing", [] {}, "not registered", false, ""},
      {"registered", [] { ASSERT_EQ(StartLauncher("/regserver"), 0); }, "registered", true, LauncherPath()},
      {"another file type",
       [] {
         ASSERT_EQ(StartLauncher("/regserver"), 0);
         ASSERT_TRUE(WriteString(kClassesRoot, ".cfg", "", "Other.Editor"));
       },
       "registered to another program", false, ""},
      {"program moved away",
       [&] {
         copy_launcher(moved);
         ASSERT_EQ(RunExact("\"" + moved + "\" /regserver"), 0);
         ASSERT_TRUE(DeleteFileA(moved.c_str()));
       },
       "program missing", false, moved},
      {"our file type in other letters",
       [] {
         ASSERT_EQ(StartLauncher("/regserver"), 0);
         ASSERT_TRUE(WriteString(kClassesRoot, ".cfg", "", "zandrell.launcher.1"));
         ASSERT_TRUE(WriteString(kCurrentUser, kUserChoice + "\\UserChoice", "ProgId", "ZANDRELL.Launcher.1"));
       },
       "registered", true, LauncherPath()},
      {"the command through an environment variable",
       [&] {
         copy_launcher(moved);
         SetEnvironmentVariableA("ZL_CHECK_FOLDER", folder_.c_str());
         command("\"%ZL_CHECK_FOLDER%\\moved\\ZandrellLauncher.exe\" \"%1\"", kRegExpandSz);
       },
       "registered", true, moved},
      // The check first offers the expansion the command's length and 256
      // characters more, with room for the terminator: this one fills it,
      // and the next one asks for more.
      {"an expansion that just fits", [&] { expanding_by(256); }, "registered", true, moved},
      {"an expansion longer than first offered", [&] { expanding_by(257); }, "registered", true, moved},
      // Explorer, a 64-bit program on 64-bit Windows, expands ProgramFiles to
      // the 64-bit folder, where this 32-bit check would get the 32-bit one.
      {"ProgramFiles as the shell expands it",
       [&] {
         copy_launcher(native);
         command("\"%ProgramFiles%\\Zandrell check test\\ZandrellLauncher.exe\" \"%1\"", kRegExpandSz);
       },
       "registered", true, native},
      // Read as CreateProcess reads it, the unquoted command looks for
      // ...\Program.exe first.
      {"an unquoted command with blanks",
       [&] {
         copy_launcher(blanks);
         command(blanks + " \"%1\"");
       },
       "registered", true, blanks, folder_ + "\\Program.exe"},
      {"an unquoted command taken over on its road",
       [&] {
         copy_launcher(blanks);
         InstallStub(folder_ + "\\Program.exe");
         command(blanks + " \"%1\"");
       },
       "registered to another program", false, folder_ + "\\Program.exe", scratch_word},
      {"the launcher picked in Open with",
       [] {
         ASSERT_TRUE(WriteString(kCurrentUser, kUserChoice + "\\UserChoice", "ProgId", kPickedInExplorer));
         ASSERT_TRUE(WriteString(kClassesRoot, kPickedInExplorer + "\\shell\\open\\command", "",
                                 "\"" + LauncherPath() + "\" \"%1\""));
       },
       "registered", true, LauncherPath()},
      {"the check program instead of the launcher",
       [] {
         ASSERT_EQ(StartLauncher("/regserver"), 0);
         ASSERT_TRUE(WriteString(kClassesRoot, kProgId + "\\Shell\\Open\\Command", "",
                                 "\"" + BuildFolder() + "\\ZandrellCheck.exe\" \"%1\""));
       },
       "registered to another program", false, BuildFolder() + "\\ZandrellCheck.exe"},
      // Explorer starts the native System32's programs: on 64-bit Windows
      // not those this 32-bit check reaches by that name (SysWOW64's).
      {"a launcher in the native System32 only",
       [&] {
         ASSERT_TRUE(CopyFileA(LauncherPath().c_str(), NativeSystemLauncher().c_str(), FALSE));
         command("\"" + WindowsFolder() + kSystemLauncher + "\" \"%1\"");
       },
       "registered", true, WindowsFolder() + kSystemLauncher},
      {"a launcher in SysWOW64 only",
       [&] {
         if (RegistryHasTwoViews()) {
           ASSERT_TRUE(CopyFileA(LauncherPath().c_str(), Wow64SystemLauncher().c_str(), FALSE));
         }
         command("\"" + WindowsFolder() + kSystemLauncher + "\" \"%1\"");
       },
       "program missing", false, WindowsFolder() + kSystemLauncher},
      // A variable outside the code page (but where it is UTF-8): the
      // command can't be expanded, and nothing is judged on its raw text.
      {"a command that can't be expanded",
       [&] {
         SetEnvironmentVariableW(L"ZL_CHECK_COMMAND", L"C:\\\u0101\u3042");
         command("%ZL_CHECK_COMMAND%.exe \"%1\"", kRegExpandSz);
       },
       GetACP() == CP_UTF8 ? "program missing" : "not judged", false, ""},
      {"the user's own choice",
       [] {
         ASSERT_EQ(StartLauncher("/regserver"), 0);
         ASSERT_TRUE(WriteString(kCurrentUser, kUserChoice + "\\UserChoice", "ProgId", "Other.Editor"));
       },
       "overridden for this user", true, ""},
  };
  for (const auto& c : cases) {
    Clean();
    c.arrange();
    json report;
    bool sound = std::string(c.verdict) == "registered";
    EXPECT_EQ(Check("association --json", &report), sound ? 0 : 1) << c.name;
    EXPECT_EQ(report["verdict"], c.verdict) << c.name;
    EXPECT_EQ(report["program_is_ours"], c.ours) << c.name;
    if (!c.program.empty()) {
      EXPECT_EQ(report["program"], Utf8(c.program)) << c.name;
    }
    EXPECT_EQ(report["warning"].is_string(), !c.last_earlier.empty()) << c.name << ": " << report["warning"];
    if (!c.last_earlier.empty()) {
      EXPECT_EQ(report["earlier_programs"].back(), Utf8(c.last_earlier)) << c.name;
    }
    std::filesystem::remove(PathFromAnsi(folder_ + "\\Program.exe"));
  }
  SetEnvironmentVariableA("ZL_CHECK_FOLDER", nullptr);
  SetEnvironmentVariableA("ZL_CHECK_COMMAND", nullptr);
  std::filesystem::remove_all(PathFromAnsi(native).parent_path());
}

// The shell takes the road the check describes: an unquoted open command
// with blanks starts a program placed where its first word ends.
TEST_F(CheckTest, TheShellTakesTheUnquotedRoadTheCheckDescribes) {
  const std::string blanks = folder_ + "\\Program Files\\ZL\\ZandrellLauncher.exe";
  std::filesystem::create_directories(PathFromAnsi(blanks).parent_path());
  ASSERT_TRUE(CopyFileA(LauncherPath().c_str(), blanks.c_str(), FALSE));
  InstallStub(folder_ + "\\Program.exe");
  ASSERT_EQ(StartLauncher("/regserver"), 0);
  ASSERT_TRUE(WriteString(kClassesRoot, kProgId + "\\Shell\\Open\\Command", "", blanks + " \"%1\""));
  json report;
  Check("association --json", &report);
  ClearStubStarts();
  RunExact("\"" + BuildFolder() + "\\shell_open.exe\" \"" + folder_ + "\\model.cfg\"");
  const std::vector<std::string> starts = StubStarts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(Utf8(starts[0].substr(0, starts[0].find('\t'))), report["program"]);
  EXPECT_EQ(report["program"], Utf8(folder_ + "\\Program.exe"));
}

}  // namespace
