#include "association/association.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/host/host_platform.h"
#include "tests/support/registry_helpers.h"

namespace {

const std::string kProgIdKey = "Zandrell.Launcher.1";
const std::string kModule = "C:\\Program Files\\Zandrell\\ZandrellLauncher.exe";


// The registry calls a job made, one word each, in order.
std::string CallTrace() {
  std::string trace;
  for (const PlatformCall& call : RecordedCalls()) {
    std::string name = call.function;
    if (name == "OpenRegistryKey" || name == "CreateRegistryKey" || name == "DeleteRegistryKey") {
      name = name.substr(0, name.find("Registry")) + "(" + call.argument + ")";
    } else if (name == "SetRegistryValue") {
      name = "Set";
    } else if (name == "CloseRegistryKey") {
      name = "Close";
    } else if (name == "EnumerateSubkey") {
      name = "Enum";
    } else if (name == "NotifyAssociationsChanged") {
      name = "Notify";
    }
    trace += (trace.empty() ? "" : " ") + name;
  }
  return trace;
}

class AssociationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetHostPlatform();
    SetOwnModulePath(kModule);
  }
  void TearDown() override { EXPECT_EQ(OpenKeyCount(), 0) << "a key was left open"; }
};

TEST_F(AssociationTest, RegistrationWritesTheKeysInOrder) {
  EXPECT_EQ(RegisterAssociation(), 0);
  EXPECT_EQ(CallTrace(),
            "Open(Software\\Classes) Create(.cfg) Set Close Create(Zandrell.Launcher.1) GetDefaultUiLanguage Set "
            "Create(DefaultIcon) Set Close Create(Shell) Close Create(Open) Close Create(Command) "
            "Close GetOwnModulePath Set Close Close Notify");
  EXPECT_EQ(ClassesDefaultValue(".cfg"), WithTerminator("Zandrell.Launcher.1"));
  EXPECT_EQ(ClassesDefaultValue(kProgIdKey), WithTerminator("Tessaline/Morvo Configuration"));
  EXPECT_EQ(ClassesDefaultValue(kProgIdKey + "\\DefaultIcon"), WithTerminator("%1"));
  EXPECT_EQ(ClassesDefaultValue(kProgIdKey + "\\Shell"), "<none>");
  EXPECT_EQ(ClassesDefaultValue(kProgIdKey + "\\Shell\\Open"), "<none>");
  EXPECT_EQ(ClassesDefaultValue(kProgIdKey + "\\Shell\\Open\\Command"), WithTerminator("\"" + kModule + "\" \"%1\""));
  EXPECT_EQ(AssociationNotifications(), 1);
}

TEST_F(AssociationTest, TheDescriptionIsGermanForEveryGerman) {
  const struct {
    uint16_t language;
    const char* description;
  } cases[] = {
      {0x0407, "Tessaline/Morvo Konfiguration"},  // Germany
      {0x0C07, "Tessaline/Morvo Konfiguration"},  // Austria
      {0x0807, "Tessaline/Morvo Konfiguration"},  // Switzerland
      {0x1407, "Tessaline/Morvo Konfiguration"},  // Liechtenstein
      {0x0409, "Tessaline/Morvo Configuration"},
      {0x040C, "Tessaline/Morvo Configuration"},
      {0x0413, "Tessaline/Morvo Configuration"},
      {0x0447, "Tessaline/Morvo Configuration"},  // Gujarati
      {0x0107, "Tessaline/Morvo Configuration"},  // the low byte is 0x07, the low ten bits are not
  };
  for (const auto& c : cases) {
    SetDefaultUiLanguage(c.language);
    EXPECT_EQ(RegisterAssociation(), 0);
    EXPECT_EQ(ClassesDefaultValue(kProgIdKey), WithTerminator(c.description)) << std::hex << c.language;
  }
}

TEST_F(AssociationTest, RegistrationReplacesOnlyTheValuesItOwns) {
  ASSERT_TRUE(WriteString(kClassesRoot, ".cfg", "", "Other.Editor"));
  ASSERT_TRUE(WriteString(kClassesRoot, ".cfg", "Content Type", "text/plain"));
  ASSERT_TRUE(WriteKey(kClassesRoot, ".cfg\\OpenWithProgids"));
  ASSERT_EQ(RegisterAssociation(), 0);
  SetOwnModulePath("D:\\moved\\ZandrellLauncher.exe");
  ASSERT_EQ(RegisterAssociation(), 0);
  EXPECT_EQ(ClassesDefaultValue(".cfg"), WithTerminator("Zandrell.Launcher.1"));
  uint32_t type = 0;
  std::string data;
  EXPECT_TRUE(ReadValue(kClassesRoot, ".cfg", "Content Type", &type, &data));
  EXPECT_TRUE(KeyExists(kClassesRoot, ".cfg\\OpenWithProgids"));
  EXPECT_EQ(ClassesDefaultValue(kProgIdKey + "\\Shell\\Open\\Command"),
            WithTerminator("\"D:\\moved\\ZandrellLauncher.exe\" \"%1\""));
  EXPECT_EQ(AssociationNotifications(), 2);
}

TEST_F(AssociationTest, RegistrationRefusesAProgramPathTheCommandCannotHold) {
  const struct {
    size_t length;
    int result;
  } cases[] = {{247, 0}, {248, -1}, {254, -1}, {255, -1}, {400, -1}};
  for (const auto& c : cases) {
    ResetHostPlatform();
    std::string path = "C:\\" + std::string(c.length - 3, 'p');
    SetOwnModulePath(path);
    EXPECT_EQ(RegisterAssociation(), c.result) << c.length;
    std::string command = ClassesDefaultValue(kProgIdKey + "\\Shell\\Open\\Command");
    EXPECT_EQ(command, c.result == 0 ? WithTerminator("\"" + path + "\" \"%1\"") : "<none>") << c.length;
    EXPECT_EQ(AssociationNotifications(), c.result == 0 ? 1 : 0) << c.length;
  }
}

// Every call of a registration failed in turn: the job ends there, closes
// what it holds, rolls nothing back and tells the shell nothing.
TEST_F(AssociationTest, RegistrationStopsAtEachFailingCall) {
  ASSERT_EQ(RegisterAssociation(), 0);
  const size_t calls = RecordedCalls().size();
  for (size_t k = 1; k <= calls; ++k) {
    ResetHostPlatform();
    SetOwnModulePath(kModule);
    FailCallNumber(static_cast<int>(k), kErrorAccessDenied);
    int result = RegisterAssociation();
    const std::string failed = RecordedCalls()[k - 1].function;
    bool can_fail = failed != "GetDefaultUiLanguage" && failed != "NotifyAssociationsChanged";
    EXPECT_EQ(result, can_fail ? -1 : 0) << k << " " << failed;
    EXPECT_EQ(OpenKeyCount(), 0) << k << " " << failed;
    if (!can_fail) continue;
    EXPECT_EQ(AssociationNotifications(), 0) << k;
    for (size_t i = k; i < RecordedCalls().size(); ++i) {
      EXPECT_EQ(RecordedCalls()[i].function, "CloseRegistryKey") << k << " then " << i;
    }
    if (k > 3) {
      EXPECT_EQ(ClassesDefaultValue(".cfg"), WithTerminator("Zandrell.Launcher.1")) << k;  // not rolled back
    }
  }
}

// Every key created, value set and key deleted, by its full path from a
// predefined root, as the calls the job made name it.
std::vector<std::string> RegistryChanges() {
  std::map<RegistryKey, std::string> where = {
      {kClassesRoot, "HKCR"}, {kCurrentUser, "HKCU"}, {kLocalMachine, "HKLM"}};
  std::vector<std::string> changes;
  for (const PlatformCall& call : RecordedCalls()) {
    if (call.result != 0) continue;
    const std::string base = where.count(call.key) ? where[call.key] : "?";
    const std::string path = call.argument.empty() ? base : base + "\\" + call.argument;
    if (call.function == "OpenRegistryKey" || call.function == "CreateRegistryKey") {
      where[call.opened] = path;
    }
    if (call.function == "CreateRegistryKey") changes.push_back("create " + path);
    if (call.function == "SetRegistryValue") changes.push_back("set " + base);
    if (call.function == "DeleteRegistryKey") changes.push_back("delete " + path);
  }
  return changes;
}

// Both jobs work on the machine's classes key, never through HKCR: on Windows
// HKCR merges the user's own classes over the machine's, and a value written
// to a key the user also has lands in the user's. A user's own .cfg key, and
// a user's own file-type key, are no concern of either job.
TEST_F(AssociationTest, BothJobsChangeOnlyTheMachinesClasses) {
  const std::string m = "HKLM\\Software\\Classes\\";
  const std::string p = m + "Zandrell.Launcher.1";
  const struct {
    const char* job;
    std::vector<std::string> changes;
  } cases[] = {
      {"register",
       {"create " + m + ".cfg", "set " + m + ".cfg", "create " + p, "set " + p,
        "create " + p + "\\DefaultIcon", "set " + p + "\\DefaultIcon", "create " + p + "\\Shell",
        "create " + p + "\\Shell\\Open", "create " + p + "\\Shell\\Open\\Command",
        "set " + p + "\\Shell\\Open\\Command"}},
      {"unregister",
       {"delete " + m + ".cfg", "delete " + p + "\\DefaultIcon",
        "delete " + p + "\\Shell\\Open\\Command", "delete " + p + "\\Shell\\Open",
        "delete " + p + "\\Shell", "delete " + p}},
  };
  for (const auto& c : cases) {
    ResetHostPlatform();
    SetOwnModulePath(kModule);
    const bool registering = std::string(c.job) == "register";
    if (!registering) {
      ASSERT_EQ(RegisterAssociation(), 0);
    }
    ASSERT_TRUE(WriteString(kCurrentUser, "Software\\Classes\\.cfg", "", "Users.Own"));
    ASSERT_TRUE(WriteKey(kCurrentUser, "Software\\Classes\\.cfg\\OpenWithProgids"));
    ASSERT_TRUE(WriteKey(kCurrentUser, "Software\\Classes\\Zandrell.Launcher.1\\Shell"));
    ClearRecordedCalls();
    EXPECT_EQ(registering ? RegisterAssociation() : UnregisterAssociation(), 0) << c.job;
    EXPECT_EQ(RegistryChanges(), c.changes) << c.job;
    uint32_t type = 0;
    std::string data;
    EXPECT_TRUE(ReadValue(kCurrentUser, "Software\\Classes\\.cfg", "", &type, &data)) << c.job;
    EXPECT_EQ(data, WithTerminator("Users.Own")) << c.job;
    EXPECT_TRUE(KeyExists(kCurrentUser, "Software\\Classes\\.cfg\\OpenWithProgids")) << c.job;
    EXPECT_TRUE(KeyExists(kCurrentUser, "Software\\Classes\\Zandrell.Launcher.1\\Shell")) << c.job;
    EXPECT_EQ(KeyExists(kLocalMachine, "Software\\Classes\\Zandrell.Launcher.1\\Shell\\Open"),
              registering) << c.job;
  }
}

TEST_F(AssociationTest, RemovalDeletesBothTreesAndAnnouncesEmptiedKeys) {
  ASSERT_EQ(RegisterAssociation(), 0);
  ClearRecordedCalls();
  EXPECT_EQ(UnregisterAssociation(), 0);
  EXPECT_FALSE(KeyExists(kClassesRoot, ".cfg"));
  EXPECT_FALSE(KeyExists(kClassesRoot, kProgIdKey));
  std::string trace;
  for (const PlatformCall& call : RecordedCalls()) {
    if (call.function == "DeleteRegistryKey" && call.result == 0) trace += call.argument + " ";
    if (call.function == "NotifyAssociationsChanged") trace += "! ";
  }
  EXPECT_EQ(trace,
            ".cfg Zandrell.Launcher.1\\DefaultIcon Zandrell.Launcher.1\\Shell\\Open\\Command "
            "Zandrell.Launcher.1\\Shell\\Open ! Zandrell.Launcher.1\\Shell ! Zandrell.Launcher.1 ! ");
  EXPECT_EQ(AssociationNotifications(), 1 + 3);
  EXPECT_EQ(UnregisterAssociation(), 0);  // again, with nothing there
  EXPECT_EQ(AssociationNotifications(), 4);
}

TEST_F(AssociationTest, RemovalTakesWhateverIsThere) {
  const struct {
    const char* name;
    std::vector<std::string> keys;
    int notifications;
  } cases[] = {
      {"nothing", {}, 0},
      {"only the extension", {".cfg"}, 0},
      {"an extension key with a subkey", {".cfg\\ShellNew"}, 1},
      {"only the file type", {"Zandrell.Launcher.1\\Shell\\Open\\Command"}, 3},
      {"foreign subkeys of any depth",
       {".cfg\\OpenWithProgids", ".cfg\\a\\b\\c\\d", ".cfg\\a\\b2", ".cfg\\ShellNew", "Zandrell.Launcher.1"},
       4},  // .cfg\a\b\c, .cfg\a\b, .cfg\a and .cfg had to be emptied first
  };
  for (const auto& c : cases) {
    ResetHostPlatform();
    for (const std::string& key : c.keys) ASSERT_TRUE(WriteKey(kClassesRoot, key));
    EXPECT_EQ(UnregisterAssociation(), 0) << c.name;
    EXPECT_FALSE(KeyExists(kClassesRoot, ".cfg")) << c.name;
    EXPECT_FALSE(KeyExists(kClassesRoot, kProgIdKey)) << c.name;
    EXPECT_EQ(AssociationNotifications(), c.notifications) << c.name;
    EXPECT_EQ(OpenKeyCount(), 0) << c.name;
  }
}

// In a double-byte code page the last byte of a key's name may be 0x5C
// without being a backslash: the key's subkeys must still be reached by its
// name and a backslash, not by its name run on into theirs.
TEST_F(AssociationTest, RemovalEmptiesKeysWhoseLastByteLooksLikeABackslash) {
  const struct {
    const char* name;
    const char* bytes;
  } cases[] = {
      {"hyou (932)", "\x95\x5c"},           // 表
      {"so (932)", "\x83\x5c"},             // ソ
      {"nou (932)", "\x94\x5c"},            // 能
      {"kyo (950)", "\xb3\x5c"},            // 許
      {"two of them", "\x95\x5c\x83\x5c"},  // 表ソ
      {"nihon", "\x93\xfa\x96\x7b"},        // 日本, no 0x5C at all
  };
  for (const auto& c : cases) {
    ResetHostPlatform();
    SetOwnModulePath(kModule);
    SetLeadBytes(0x81, 0xFE);
    ASSERT_EQ(RegisterAssociation(), 0);
    const std::string key = std::string(".cfg\\") + c.bytes;
    ASSERT_TRUE(WriteKey(kClassesRoot, key + "\\sub\\deeper")) << c.name;
    ASSERT_TRUE(WriteKey(kClassesRoot, key + "\\other")) << c.name;
    EXPECT_EQ(UnregisterAssociation(), 0) << c.name;
    EXPECT_FALSE(KeyExists(kClassesRoot, ".cfg")) << c.name;
    EXPECT_FALSE(KeyExists(kClassesRoot, kProgIdKey)) << c.name;
    // .cfg\name\sub, .cfg\name and .cfg, then the three of the file type.
    EXPECT_EQ(AssociationNotifications(), 1 + 3 + 3) << c.name;
  }
}

TEST_F(AssociationTest, RemovalFailsOnWhatItCannotDelete) {
  const std::string deep = ".cfg\\" + std::string(200, 'd') + "\\" + std::string(48, 'e');
  const struct {
    const char* name;
    std::string key;         // created besides the registration
    const char* function;    // the call made to fail, with its occurrence
    int occurrence;
    long error;
    int result;
    bool progid_left;
  } cases[] = {
      {"path 254 long", deep.substr(0, 254), "", 0, 0, 0, false},
      {"path 255 long", deep.substr(0, 254) + "f", "", 0, 0, -1, true},
      {"name of 255", ".cfg\\" + std::string(255, 'n'), "", 0, 0, -1, true},
      {"extension undeletable", "", "DeleteRegistryKey", 3, kErrorAccessDenied, -1, true},
      {"classes key unreadable", "", "OpenRegistryKey", 1, kErrorAccessDenied, -1, true},
      {"extension unreadable", "", "OpenRegistryKey", 2, kErrorAccessDenied, -1, true},
      {"extension vanished", "", "OpenRegistryKey", 2, kErrorFileNotFound, 0, false},
      {"enumeration fails", "", "EnumerateSubkey", 1, kErrorAccessDenied, -1, true},
      {"close fails", "", "CloseRegistryKey", 1, kErrorInvalidHandle, -1, true},
      {"classes key close fails", "", "CloseRegistryKey", 5, kErrorInvalidHandle, -1, false},
      {"file type subkey fails", "", "DeleteRegistryKey", 9, kErrorAccessDenied, -1, true},
  };
  for (const auto& c : cases) {
    ResetHostPlatform();
    ASSERT_EQ(RegisterAssociation(), 0);
    ASSERT_TRUE(WriteKey(kClassesRoot, c.key.empty() ? ".cfg\\sub" : c.key)) << c.name;
    if (*c.function) FailCall(c.function, c.occurrence, c.error);
    EXPECT_EQ(UnregisterAssociation(), c.result) << c.name;
    EXPECT_EQ(KeyExists(kClassesRoot, kProgIdKey), c.progid_left) << c.name;
    EXPECT_EQ(OpenKeyCount(), 0) << c.name;
  }
}

}  // namespace
