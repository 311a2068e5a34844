// The Windows Installer package under Wine's msiexec, in a prefix of its own:
// refused for a folder the programs cannot work in and per user, installed
// into a chosen folder, installed again, replaced by another build of its
// version, upgraded, repaired (staying where it is), refused as a downgrade
// and removed after another program took .cfg; then installed only offering
// itself (ASSOCIATE=0), upgraded and repaired so, made to take .cfg by a
// repair and removed; then put in place of a package that shipped (whose
// removal deletes .cfg's default) only offering itself, then repaired and
// removed after a script wrote the remembered choice as a number. One step
// after the other, with what the package promises checked after each step:
// the installed products and where they are, the files and their versions,
// every value of the association and of the registration for Default Apps,
// .cfg's default, and a configuration opened through the shell by the
// installed launcher.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/system_library.h"
#include "tests/support/registry_helpers.h"
#include "tests/wine/harness.h"

namespace {

const char kUpgradeCode[] = "{7A72C33B-0C19-40AD-9355-383BE3E52866}";
const std::string kProgId = "Zandrell.Launcher.1";
// The file type of another program that takes .cfg after us.
const std::string kOtherType = "Other.Editor";
const std::string kNone = "<none>";
const std::string kEnglish = "Tessaline/Morvo Configuration";
const std::string kGerman = "Tessaline/Morvo Konfiguration";

// The description the package writes on this system: German where the
// system's language (SystemLanguageID) is German in any variant.
std::string SystemDescription() {
  return PRIMARYLANGID(GetSystemDefaultLangID()) == LANG_GERMAN ? kGerman : kEnglish;
}

// A package and the folder beside it that holds its files as packaged.
struct Package {
  std::string version;
  std::string files;
  std::string Path() const { return files + ".msi"; }
  std::string Msi() const { return "\"" + Path() + "\""; }
};

Package Built() {
  return {ZL_PACKAGE_VERSION, BuildFolder() + "\\ZandrellLauncher-" ZL_PACKAGE_VERSION};
}
// Another build of the same version, with a launcher of other bytes.
Package Rebuilt() {
  return {ZL_PACKAGE_VERSION,
          BuildFolder() + "\\installer-test\\ZandrellLauncher-" ZL_PACKAGE_VERSION};
}
Package Upgrade() {
  return {ZL_UPGRADE_VERSION,
          BuildFolder() + "\\installer-test\\ZandrellLauncher-" ZL_UPGRADE_VERSION};
}
// The package as it was built from the sources of a commit that shipped
// before .cfg's default had a component of its own (its removal deletes the
// value, whatever it holds), which ctest names in ZL_SHIPPED_COMMIT and
// builds beside the others; empty where nobody built it.
std::string ShippedPackage() {
  char commit[64] = {};
  if (GetEnvironmentVariableA("ZL_SHIPPED_COMMIT", commit, sizeof commit) == 0) return "";
  return "\"" + BuildFolder() + "\\installer-test\\ZandrellLauncher-" + commit + ".msi\"";
}

// The folder an administrator chooses, blanks and all, and the one a repair
// is told to move to.
const std::string kChosenFolder = "C:\\Tools for all\\Zandrell Launcher";
const std::string kMovedFolder = "C:\\Moved\\Zandrell Launcher";
const std::string kRelativeFolder = "relative\\ZL";
// A folder with a character no ANSI code page holds but UTF-8 (Devanagari
// KA). The command lines are ANSI text, so the rows write DEL in its place,
// and InWide puts it in.
const char kOutsideCodePage = '\x7f';
const std::string kOutsideFolder = std::string("C:\\") + kOutsideCodePage + "zl";
std::wstring InWide(const std::string& ansi) {
  std::wstring wide(ansi.size() + 1, L'\0');
  wide.resize(static_cast<size_t>(
      MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], static_cast<int>(wide.size())) - 1));
  for (wchar_t& c : wide) {
    if (c == static_cast<wchar_t>(kOutsideCodePage)) c = L'\u0915';
  }
  return wide;
}
const std::string kOurKey = "SOFTWARE\\Zandrell\\Launcher";

// A folder in which the launcher's path has `length` characters: the open
// command holds 247 of them.
std::string FolderForLauncherPath(size_t length) {
  std::string folder = "C:\\Longest\\";
  folder.append(length - folder.size() - std::string("\\ZandrellLauncher.exe").size(), 'L');
  return folder;
}
const std::string kLongestFolder = FolderForLauncherPath(247);
const std::string kTooLongFolder = FolderForLauncherPath(248);

std::string InstallFolder() {
  char folder[MAX_PATH] = {};
  // A 32-bit program like this one sees the folder where 32-bit packages
  // install.
  GetEnvironmentVariableA("ProgramFiles", folder, sizeof folder);
  return std::string(folder) + "\\Zandrell Launcher";
}

// Where each msiexec run writes its full log.
std::string LogPath() { return ScratchFolder("installer log") + "\\msiexec.log"; }

// A log as text, whether Windows Installer wrote it in UTF-16 or in the ANSI
// code page.
std::string LogText(const std::string& path) {
  std::string bytes = ReadBytes(path);
  if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return bytes;
  std::wstring wide(bytes.size() / 2 - 1, L'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                   static_cast<unsigned char>(bytes[3 + 2 * i]) << 8);
  }
  return ToUtf8(wide);
}

// Whether the folder check's custom action was started and never came back
// with a verdict of its own: the process that hosts custom actions died or
// stopped answering before our code could say anything. It runs before
// anything is written, so such a run changed nothing.
// The log's lines are in the system's language ("Action ended ...:
// CheckInstallFolder. Return value 1.", "Ende der Aktion ...:
// CheckInstallFolder. Rückgabewert 1."); the action's name and the value
// that ends the line are not, nor what our custom action says.
bool CustomActionHostFailed(const std::string& log) {
  const std::string text = LogText(log);
  const std::string action = ": CheckInstallFolder.";
  bool started = false, ended = false;
  for (size_t at = text.find(action); at != std::string::npos; at = text.find(action, at + 1)) {
    started = true;
    const std::string line = text.substr(at, text.find('\n', at) - at);
    const size_t end = line.find_last_not_of("\r ");
    ended = ended || (end != std::string::npos && end >= 2 && line.compare(end - 2, 3, " 1.") == 0);
  }
  return started && !ended && text.find("Nothing was changed.") == std::string::npos;
}

// Exit codes come back whole through RunExact; Wine's own exit status would
// cut them to 8 bits. msiexec is named by its path in the system folder,
// never looked for on the search path.
//
// Where 32-bit programs are emulated (qemu-user, on a kernel that refuses
// them), Wine's custom action host now and then crashes or deadlocks with
// msiexec, both idle, a fault of the emulation that the next run does not
// repeat. Such a run is tried again, twice at most; one that fails the same
// way three times fails the test, as a custom action that really crashes
// does.
int Msiexec(const std::string& arguments, const std::string& log) {
  int result = -1000;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    DeleteFileW(InWide(log).c_str());
    result = RunWatchingW(InWide("\"" + SystemProgram("msiexec.exe") + "\" " + arguments + " /qn /l*v \"" +
                                 log + "\""),
                          log, 120);
    if (!CustomActionHostFailed(log)) break;
    fprintf(stderr, "msiexec %s: the custom action host failed (exit code %d), try %d of 3\n", arguments.c_str(),
            result, attempt);
  }
  return result;
}

std::string ProductInfo(const char* product, const char* property) {
  char value[MAX_PATH] = {};
  DWORD size = sizeof value;
  if (MsiGetProductInfoA(product, property, value, &size) != ERROR_SUCCESS) return "<none>";
  return value;
}

// Every installed version of this product, as Windows Installer lists it.
std::vector<std::string> InstalledVersions() {
  std::vector<std::string> versions;
  char product[39] = {};
  for (DWORD i = 0; MsiEnumRelatedProductsA(kUpgradeCode, 0, i, product) == ERROR_SUCCESS; ++i) {
    versions.push_back(ProductInfo(product, "VersionString"));
  }
  return versions;
}

// Whether the product is installed for the machine rather than for one user,
// read through the machine context. Its AssignmentType says the same on
// Windows (1, per machine); Wine answers 0, per user, for every product.
bool PerMachine(const char* product) {
  char state[8] = {};
  DWORD size = sizeof state;
  const bool machine = MsiGetProductInfoExA(product, nullptr, MSIINSTALLCONTEXT_MACHINE,
                                            INSTALLPROPERTY_PRODUCTSTATE, state, &size) == ERROR_SUCCESS &&
                       std::string(state) == "5";  // INSTALLSTATE_DEFAULT: installed
  return machine && ProductInfo(product, INSTALLPROPERTY_ASSIGNMENTTYPE) == (RunningUnderWine() ? "0" : "1");
}

// The installed product as Programs and Features shows it: its name, maker,
// icon and folder, and whether it is installed for the machine.
std::string ProductEntry() {
  char product[39] = {};
  if (MsiEnumRelatedProductsA(kUpgradeCode, 0, 0, product) != ERROR_SUCCESS) return "<none>";
  std::string icon = ReadBytes(ProductInfo(product, "ProductIcon"));
  return ProductInfo(product, "ProductName") + " by " + ProductInfo(product, "Publisher") +
         (icon == ReadBytes(Built().files + "\\ZandrellLauncher.ico") ? ", our icon" : ", no icon") +
         ", in " + ProductInfo(product, "InstallLocation") +
         (PerMachine(product) ? ", per machine" : ", not per machine");
}

// A value under HKLM in the 32-bit view, where the package writes, as stored,
// marked where its type is not REG_SZ; "<none>" when it is missing.
std::string MachineValue(const std::string& path, const std::string& name) {
  uint32_t type = 0;
  std::string data;
  if (!ReadValue(kLocalMachine, path, name, &type, &data, kKeyWow64_32Key)) return "<none>";
  return (type == kRegSz ? "" : "<type " + std::to_string(type) + ">") + data;
}

int ValueCount(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
  DWORD values = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return static_cast<int>(values);
}

// A program's file version and first language as its version block holds
// them, read as Windows reads them (VerQueryValue), "1.7.0.0 1033".
std::string InstalledFileVersion(const std::string& path) {
  const VersionFunctions version = LoadVersionFunctions();
  if (!version.loaded()) return "<no version.dll>";
  DWORD ignored = 0;
  std::vector<char> block(version.info_size(path.c_str(), &ignored));
  VS_FIXEDFILEINFO* fixed = nullptr;
  WORD* translation = nullptr;
  UINT size = 0;
  if (block.empty() ||
      !version.info(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
      !version.query(block.data(), "\\", reinterpret_cast<void**>(&fixed), &size) ||
      size < sizeof *fixed ||
      !version.query(block.data(), "\\VarFileInfo\\Translation",
                     reinterpret_cast<void**>(&translation), &size) ||
      size < 2 * sizeof *translation) {
    return "<no version block>";
  }
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u %u", HIWORD(fixed->dwFileVersionMS),
                LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                LOWORD(fixed->dwFileVersionLS), translation[0]);
  return text;
}

// The version and language the package's File table gives a file.
std::string PackagedFileVersion(const Package& package, const std::string& file) {
  MSIHANDLE database = 0, view = 0, record = 0;
  std::string found = "<not in the File table>";
  const std::string query = "SELECT `Version`, `Language` FROM `File` WHERE `File` = '" + file + "'";
  if (MsiOpenDatabaseA(package.Path().c_str(), MSIDBOPEN_READONLY, &database) == ERROR_SUCCESS &&
      MsiDatabaseOpenViewA(database, query.c_str(), &view) == ERROR_SUCCESS &&
      MsiViewExecute(view, 0) == ERROR_SUCCESS && MsiViewFetch(view, &record) == ERROR_SUCCESS) {
    char version[64] = {}, language[64] = {};
    DWORD version_size = sizeof version, language_size = sizeof language;
    MsiRecordGetStringA(record, 1, version, &version_size);
    MsiRecordGetStringA(record, 2, language, &language_size);
    found = std::string(version) + " " + language;
  }
  for (MSIHANDLE handle : {record, view, database}) {
    if (handle != 0) MsiCloseHandle(handle);
  }
  return found;
}

// What another program added under .cfg, which must survive us.
std::string ForeignValues() {
  uint32_t type = 0;
  std::string content_type, open_with;
  if (!ReadValue(kClassesRoot, ".cfg", "Content Type", &type, &content_type)) content_type = "<none>";
  if (!ReadValue(kClassesRoot, ".cfg\\OpenWithProgids", "Other.Editor", &type, &open_with)) {
    open_with = "<none>";
  }
  return content_type + ", " + open_with;
}
const std::string kForeignValues = WithTerminator("text/plain") + ", " + WithTerminator("");

// .cfg's default value as every user sees it, or "<none>".
std::string CfgDefault() {
  std::string value = ClassesDefaultValue(".cfg");
  return value == kNone ? value : value.substr(0, value.size() - 1);
}

class InstallerTest : public ::testing::Test {
 protected:
  // A Morvo installation to open configurations with, and a .cfg without a
  // default but with values another program added, which must survive us.
  void SetUp() override {
    std::string folder = ScratchFolder("installer");
    tool_ = folder + "\\Morvo 9.5\\Exec32\\Morvo32.exe";
    InstallStub(tool_);
    ASSERT_TRUE(RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", kKeyWow64_32Key));
    ASSERT_TRUE(WriteString(kLocalMachine, "SOFTWARE\\KESTAL\\Morvo\\9.5", "Path",
                            folder + "\\Morvo 9.5", kKeyWow64_32Key));
    config_ = folder + "\\with blanks\\bridge model.cfg";
    WriteBytes(config_, "#Morvo 9.5\r\n");
    ASSERT_TRUE(RemoveTree(kLocalMachine, "Software\\Classes\\.cfg"));
    // A key of ours that no installation made (a script's, say) would be
    // taken for what the package leaves, and a user's own .cfg hides the
    // machine's; the test kit puts both back.
    ASSERT_TRUE(RemoveTree(kLocalMachine, "SOFTWARE\\Zandrell", kKeyWow64_32Key));
    ASSERT_TRUE(RemoveTree(kCurrentUser, "Software\\Classes\\.cfg"));
    ASSERT_TRUE(WriteString(kClassesRoot, ".cfg", "Content Type", "text/plain"));
    ASSERT_TRUE(WriteString(kClassesRoot, ".cfg\\OpenWithProgids", "Other.Editor", ""));
  }

  // Everything the package promises, for the package that should be installed
  // in `folder`, with .cfg's default naming `cfg_default` and the ASSOCIATE
  // choice `associate` remembered.
  void ExpectInstalled(const Package& package, const std::string& description,
                       const std::string& folder, const std::string& cfg_default,
                       const std::string& associate) {
    EXPECT_EQ(InstalledVersions(), std::vector<std::string>{package.version});
    EXPECT_EQ(ProductEntry(),
              "Zandrell Launcher by Zandrell, our icon, in " + folder + "\\, per machine");
    for (const char* program : {"ZandrellLauncher.exe", "ZandrellCheck.exe"}) {
      const std::string installed = folder + "\\" + program;
      EXPECT_TRUE(ReadBytes(installed) == ReadBytes(package.files + "\\" + program))
          << program << " is missing or not the one in " << package.Path();
      // What Windows Installer compares on a repair or an upgrade is what the
      // program's version block says.
      EXPECT_EQ(PackagedFileVersion(package, program), InstalledFileVersion(installed)) << program;
    }
    const std::string launcher = folder + "\\ZandrellLauncher.exe";
    EXPECT_EQ(CfgDefault(), cfg_default);
    EXPECT_EQ(ValueCount(".cfg"), cfg_default == kNone ? 1 : 2);
    const struct {
      std::string key;
      std::string value;  // the default value; "" for a key without values
    } keys[] = {
        {kProgId, description},
        // The launcher's own icon: "%1" would ask for an icon handler.
        {kProgId + "\\DefaultIcon", "\"" + launcher + "\",0"},
        {kProgId + "\\Shell", ""},
        {kProgId + "\\Shell\\Open", ""},
        {kProgId + "\\Shell\\Open\\Command", "\"" + launcher + "\" \"%1\""},
    };
    for (const auto& k : keys) {
      if (k.value.empty()) {
        EXPECT_EQ(ValueCount(k.key), 0) << k.key;
      } else {
        EXPECT_EQ(ClassesDefaultValue(k.key), WithTerminator(k.value)) << k.key;
        EXPECT_EQ(ValueCount(k.key), 1) << k.key;
      }
    }
    EXPECT_EQ(ForeignValues(), kForeignValues);
    // "Open with" keeps us when another program takes .cfg; Default Apps
    // finds our capabilities; the next installation finds the folder and
    // the choice.
    const struct {
      std::string key;
      std::string name;
      std::string value;
    } values[] = {
        {"SOFTWARE\\Classes\\.cfg\\OpenWithProgids", kProgId, ""},
        {"SOFTWARE\\RegisteredApplications", "Zandrell Launcher", kOurKey + "\\Capabilities"},
        {kOurKey + "\\Capabilities", "ApplicationName", "Zandrell Launcher"},
        {kOurKey + "\\Capabilities", "ApplicationDescription",
         "Opens Morvo and Tessaline configuration files in the newest suitable installed version."},
        {kOurKey + "\\Capabilities\\FileAssociations", ".cfg", kProgId},
        {kOurKey, "InstallFolder", folder + "\\"},
        {kOurKey, "Associate", associate},
    };
    for (const auto& v : values) {
      EXPECT_EQ(MachineValue(v.key, v.name), WithTerminator(v.value)) << v.key << " " << v.name;
    }
    // A 32-bit package's keys are in the 32-bit view: WOW6432Node on 64-bit
    // Windows, the only view on 32-bit Windows.
    const bool two_views = RegistryHasTwoViews();
    EXPECT_EQ(KeyExists(kLocalMachine, "SOFTWARE\\WOW6432Node\\Zandrell\\Launcher", kKeyWow64_64Key), two_views);
    EXPECT_EQ(KeyExists(kLocalMachine, kOurKey, kKeyWow64_64Key), !two_views);

    // A double-click reaches the launcher where .cfg is ours; elsewhere the
    // shell has nothing to start.
    if (cfg_default != kProgId) return;
    ClearStubStarts();
    EXPECT_EQ(RunExact("\"" + BuildFolder() + "\\shell_open.exe\" \"" + config_ + "\""), 0);
    const std::string started = tool_ + "\t1\t\"" + tool_ + "\" \"" + config_ + "\"";
    EXPECT_EQ(StubStarts(), std::vector<std::string>{started});
  }

  // Nothing of ours is left, in `folder` or in the registry, but .cfg's
  // default, which names `cfg_default`; what others added under .cfg is.
  void ExpectRemoved(const std::string& folder, const std::string& cfg_default) {
    EXPECT_EQ(InstalledVersions(), std::vector<std::string>{});
    EXPECT_EQ(GetFileAttributesW(InWide(folder).c_str()), INVALID_FILE_ATTRIBUTES) << folder;
    EXPECT_FALSE(KeyExists(kClassesRoot, kProgId));
    EXPECT_EQ(CfgDefault(), cfg_default);
    EXPECT_EQ(MachineValue("SOFTWARE\\Classes\\.cfg\\OpenWithProgids", kProgId), kNone);
    EXPECT_EQ(MachineValue("SOFTWARE\\RegisteredApplications", "Zandrell Launcher"), kNone);
    EXPECT_FALSE(KeyExists(kLocalMachine, kOurKey, kKeyWow64_32Key));
    EXPECT_EQ(ForeignValues(), kForeignValues);
  }

  std::string tool_;
  std::string config_;
};

// What an administrator does to a repair: the program and the open command's
// key deleted.
void DeleteProgramAndKey() {
  ASSERT_TRUE(DeleteFileA((kChosenFolder + "\\ZandrellLauncher.exe").c_str()));
  ASSERT_TRUE(RemoveTree(kClassesRoot, kProgId + "\\Shell"));
}

// What a program installed after us does.
void AnotherProgramTakesCfg() {
  ASSERT_TRUE(WriteString(kLocalMachine, "Software\\Classes\\.cfg", "", kOtherType));
}

// Takes the package away again where it was installed (Wine installs what
// Windows refuses).
void RemoveBuilt() {
  if (InstalledVersions().empty()) return;
  EXPECT_EQ(Msiexec("/x " + Built().Msi(), LogPath()), 0);
  EXPECT_EQ(InstalledVersions(), std::vector<std::string>{});
}

// A script that wrote the remembered choice as a number, which reads back
// as "#1".
void AssociateWrittenAsNumber() {
  ASSERT_TRUE(WriteValue(kLocalMachine, kOurKey, "Associate", kRegDword, std::string("\1\0\0\0", 4),
                         kKeyWow64_32Key));
}

// The package that shipped installed in the chosen folder, and another
// program taking .cfg after it. Without that package (a test kit that does
// not carry it) only the other program takes .cfg.
void ShippedInstalledThenAnotherProgramTakesCfg() {
  const std::string shipped = ShippedPackage();
  if (shipped.empty()) {
    std::printf("No package of an earlier commit to upgrade from: ZL_SHIPPED_COMMIT is not set.\n");
  } else {
    ASSERT_EQ(Msiexec("/i " + shipped + " INSTALLFOLDER=\"" + kChosenFolder + "\"", LogPath()), 0);
  }
  AnotherProgramTakesCfg();
}

void NothingWentToTheMovedFolder() {
  EXPECT_EQ(GetFileAttributesA("C:\\Moved"), INVALID_FILE_ATTRIBUTES);
}

// A copy of ZandrellCheck kept after the removal, as an administrator would,
// explains what is left.
void ACheckKeptSaysNoFileType() {
  std::string output;
  EXPECT_EQ(RunCapturing("\"" + Built().files + "\\ZandrellCheck.exe\" association --json", &output), 1);
  nlohmann::json report = nlohmann::json::parse(output, nullptr, false);
  EXPECT_EQ(report.value("verdict", output), "not registered");
  EXPECT_EQ(report.value("detail", output),
            ".cfg names the file type " + kProgId + ", which does not exist");
}

TEST_F(InstallerTest, InstallsUpgradesRepairsAndRemovesCleanly) {
  const bool wine = RunningUnderWine();
  // The UTF-8 code page holds every folder.
  const bool utf8 = GetACP() == CP_UTF8;
  const Package built = Built(), rebuilt = Rebuilt(), upgrade = Upgrade();
  const Package none = {};
  const std::string chosen = " INSTALLFOLDER=\"" + kChosenFolder + "\"";
  const std::string repair = " REINSTALL=ALL REINSTALLMODE=omus";
  // A relative folder would be resolved against msiexec's working folder,
  // ours: a scratch folder inside the prefix, which goes with it.
  ASSERT_TRUE(SetCurrentDirectoryA(ScratchFolder("msiexec working folder").c_str()));
  const struct {
    const char* step;
    void (*before)();
    std::string arguments;
    int exit_code;
    const Package& installed;
    std::string folder;       // where it is installed, or where nothing may be
    std::string cfg_default;  // what .cfg's default names afterwards
    std::string associate;    // the choice remembered
    std::string log_says;     // what the log must hold, if anything
    void (*after)();
  } steps[] = {
      // ERROR_INSTALL_FAILURE, and nothing written: a relative folder would be
      // taken from msiexec's working folder (Wine's choice) and named so in
      // the open command; in one too long the open command can't name the
      // launcher.
      {"relative folder", nullptr, "/i " + built.Msi() + " INSTALLFOLDER=" + kRelativeFolder, 1603,
       none, kRelativeFolder, kNone, "", "The installation folder \"" + kRelativeFolder +
       "\" is neither on a drive", nullptr},
      // The launcher converts its command line exactly, its own path with
      // it, and would refuse every file.
      {"folder outside the code page", nullptr,
       "/i " + built.Msi() + " INSTALLFOLDER=\"" + kOutsideFolder + "\"", 1603, none, kOutsideFolder,
       kNone, "", "has a character that the system's ANSI code page cannot hold", nullptr},
      {"folder too long", nullptr, "/i " + built.Msi() + " INSTALLFOLDER=\"" + kTooLongFolder + "\"",
       1603, none, kTooLongFolder, kNone, "", "would have 248 characters", nullptr},
      // ASSOCIATE means 0 or 1; a misspelt "no" must not write the default.
      {"ASSOCIATE neither 0 nor 1", nullptr, "/i " + built.Msi() + " ASSOCIATE=no", 1603, none,
       kChosenFolder, kNone, "", "", nullptr},
      // Per user, the association would hold for one user only: refused
      // (ERROR_INSTALL_FAILURE). An empty ALLUSERS asks for it everywhere.
      {"per user", nullptr, "/i " + built.Msi() + " ALLUSERS=\"\"", 1603, none, kChosenFolder, kNone,
       "", "", nullptr},
      // The documented way to ask for it: Windows settles ALLUSERS=2
      // MSIINSTALLPERUSER=1 to a per-user installation, which is refused;
      // Wine settles it to a per-machine one and installs, in the default
      // folder (and the installation is taken away again).
      {"per user, as documented", nullptr, "/i " + built.Msi() + " ALLUSERS=2 MSIINSTALLPERUSER=1",
       wine ? 0 : 1603, wine ? built : none, wine ? InstallFolder() : kChosenFolder, wine ? kProgId : kNone,
       wine ? "1" : "", "", RemoveBuilt},
      {"install", nullptr, "/i " + built.Msi() + chosen, 0, built, kChosenFolder, kProgId, "1", "",
       nullptr},
      // The same package again changes nothing.
      {"install again", nullptr, "/i " + built.Msi(), 0, built, kChosenFolder, kProgId, "1", "",
       nullptr},
      // Another build of the same version replaces the installed one.
      {"another build", nullptr, "/i " + rebuilt.Msi(), 0, rebuilt, kChosenFolder, kProgId, "1", "",
       nullptr},
      {"upgrade", nullptr, "/i " + upgrade.Msi(), 0, upgrade, kChosenFolder, kProgId, "1", "",
       nullptr},
      // What msiexec /fomus does; Wine's msiexec /f hands a package path on
      // as a product code and takes no product code at all. Told to move,
      // the repair stays where the product is, and says so.
      {"repair", DeleteProgramAndKey,
       "/i " + upgrade.Msi() + repair + " INSTALLFOLDER=\"" + kMovedFolder + "\"", 0, upgrade,
       kChosenFolder, kProgId, "1",
       "INSTALLFOLDER=" + kMovedFolder + " is ignored: Zandrell Launcher is installed in " +
           kChosenFolder + "\\",
       NothingWentToTheMovedFolder},
      // ERROR_INSTALL_FAILURE: the launch condition refuses.
      {"downgrade", nullptr, "/i " + built.Msi(), 1603, upgrade, kChosenFolder, kProgId, "1", "",
       nullptr},
      // .cfg's default is the other program's now, and stays.
      {"uninstall", AnotherProgramTakesCfg, "/x " + upgrade.Msi(), 0, none, kChosenFolder,
       kOtherType, "", "", nullptr},
      // Offering the launcher only: "Open with" and Default Apps, never .cfg's
      // default, in the longest folder the open command can name.
      {"install offering only", nullptr,
       "/i " + built.Msi() + " ASSOCIATE=0 INSTALLFOLDER=\"" + kLongestFolder + "\"", 0, built,
       kLongestFolder, kOtherType, "0", "", nullptr},
      // The choice and the folder are remembered.
      {"upgrade offering only", nullptr, "/i " + upgrade.Msi(), 0, upgrade, kLongestFolder,
       kOtherType, "0", "", nullptr},
      {"repair offering only", nullptr, "/i " + upgrade.Msi() + repair + " ASSOCIATE=0", 0, upgrade,
       kLongestFolder, kOtherType, "0", "", nullptr},
      // A later command line says otherwise: the repair takes .cfg.
      {"repair associating", nullptr, "/i " + upgrade.Msi() + repair + " ASSOCIATE=1", 0, upgrade,
       kLongestFolder, kProgId, "1", "", nullptr},
      // Nobody took .cfg: it names our file type, which is gone.
      {"uninstall, .cfg still ours", nullptr, "/x " + upgrade.Msi(), 0, none, kLongestFolder,
       kProgId, "", "", ACheckKeptSaysNoFileType},
      // The shipped package's removal, early in the upgrade, deletes .cfg's
      // default whatever it holds; ASSOCIATE=0 promises to leave it alone.
      {"upgrade from the shipped package offering only", ShippedInstalledThenAnotherProgramTakesCfg,
       "/i " + built.Msi() + " ASSOCIATE=0" + chosen, 0, built, kChosenFolder, kOtherType, "0", "",
       nullptr},
      // A remembered choice other than 0 or 1 is ignored, and 1 applies.
      {"repair after a script wrote Associate", AssociateWrittenAsNumber,
       "/i " + built.Msi() + repair, 0, built, kChosenFolder, kProgId, "1",
       "IgnoreRememberedAssociate. The remembered Associate value is neither 0 nor 1 and is ignored",
       nullptr},
      // Nothing refuses a removal, whatever the registry or the command
      // line says.
      {"uninstall after a script wrote Associate", AssociateWrittenAsNumber,
       "/x " + built.Msi() + " ASSOCIATE=no", 0, none, kChosenFolder, kProgId, "", "", nullptr},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    if (utf8 && s.arguments.find(kOutsideCodePage) != std::string::npos) continue;
    if (s.before != nullptr) s.before();
    const std::string log = LogPath();
    ASSERT_EQ(Msiexec(s.arguments, log), s.exit_code);
    if (!s.log_says.empty()) {
      EXPECT_NE(LogText(log).find(s.log_says), std::string::npos) << "not in the log: " << s.log_says;
    }
    if (s.installed.version.empty()) {
      ExpectRemoved(s.folder, s.cfg_default);
    } else {
      ExpectInstalled(s.installed, SystemDescription(), s.folder, s.cfg_default, s.associate);
    }
    if (s.after != nullptr) s.after();
  }
}

// Wine takes the system's language from the locale it is started in, so
// ctest runs this case alone, once for each of several locales, and leaves
// it out of the run of the whole suite.
TEST_F(InstallerTest, TheDescriptionFollowsTheSystemLanguage) {
  const struct {
    const char* locale;
    const std::string& description;
  } cases[] = {
      {"de_DE.UTF-8", kGerman},
      {"de_AT.UTF-8", kGerman},
      {"de_CH.UTF-8", kGerman},
      {"fr_FR.UTF-8", kEnglish},
  };
  char locale[64] = {};
  GetEnvironmentVariableA("LC_ALL", locale, sizeof locale);
  // Wine takes the system's language from the locale ctest starts it in;
  // elsewhere (on Windows, say) the system has the language it has, which
  // the package reads as SystemLanguageID.
  std::string description = SystemDescription();
  for (const auto& c : cases) {
    if (std::string(locale) == c.locale) description = c.description;
  }
  // Without a folder of its own, the package installs into the default one:
  // Program Files (x86) on 64-bit Windows, Program Files on 32-bit Windows.
  const std::string folder = InstallFolder();
  EXPECT_EQ(folder.find("Program Files (x86)") != std::string::npos, RegistryHasTwoViews()) << folder;
  ASSERT_EQ(Msiexec("/i " + Built().Msi(), LogPath()), 0);
  ExpectInstalled(Built(), description, folder, kProgId, "1");
  EXPECT_EQ(Msiexec("/x " + Built().Msi(), LogPath()), 0);
  ExpectRemoved(folder, kProgId);
}

}  // namespace
