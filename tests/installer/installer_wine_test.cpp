// The Windows Installer package under Wine's msiexec, in a prefix of its own:
// refused per user, installed into a chosen folder, installed again,
// replaced by another build of its version, upgraded, repaired, refused as a
// downgrade and removed, one step after the other, with what the package
// promises checked after each step: the installed products and where they
// are, the files, every value of the association and of the registration
// for Default Apps, and a configuration opened through the shell by the
// installed launcher.
#include <windows.h>
#include <msi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/registry_helpers.h"
#include "tests/wine/harness.h"

namespace {

const char kUpgradeCode[] = "{7A72C33B-0C19-40AD-9355-383BE3E52866}";
const std::string kProgId = "Zandrell.Launcher.1";
const std::string kEnglish = "Tessaline/Morvo Configuration";
const std::string kGerman = "Tessaline/Morvo Konfiguration";

// A package and the folder beside it that holds its files as packaged.
struct Package {
  std::string version;
  std::string files;
  std::string Msi() const { return "\"" + files + ".msi\""; }
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

// The folder an administrator chooses, blanks and all.
const std::string kChosenFolder = "C:\\Tools for all\\Zandrell Launcher";
const std::string kOurKey = "SOFTWARE\\Zandrell\\Launcher";

std::string InstallFolder() {
  char folder[MAX_PATH] = {};
  // A 32-bit program like this one sees the folder where 32-bit packages
  // install.
  GetEnvironmentVariableA("ProgramFiles", folder, sizeof folder);
  return std::string(folder) + "\\Zandrell Launcher";
}

// Exit codes come back whole through RunExact; Wine's own exit status would
// cut them to 8 bits.
int Msiexec(const std::string& arguments) { return RunExact("msiexec " + arguments + " /qn"); }

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

// Whether the product is installed for the machine rather than for one user
// (Wine answers 0, per user, for every product's AssignmentType).
bool PerMachine(const char* product) {
  char state[8] = {};
  DWORD size = sizeof state;
  return MsiGetProductInfoExA(product, nullptr, MSIINSTALLCONTEXT_MACHINE,
                              INSTALLPROPERTY_PRODUCTSTATE, state, &size) == ERROR_SUCCESS &&
         std::string(state) == "5";  // INSTALLSTATE_DEFAULT: installed
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

class InstallerTest : public ::testing::Test {
 protected:
  // A Morvo installation to open configurations with, and a value under
  // .cfg that another program added and that must survive us.
  void SetUp() override {
    std::string folder = ScratchFolder("installer");
    tool_ = folder + "\\Morvo 9.5\\Exec32\\Morvo32.exe";
    InstallStub(tool_);
    ASSERT_TRUE(RemoveTree(kLocalMachine, "SOFTWARE\\KESTAL", kKeyWow64_32Key));
    ASSERT_TRUE(WriteString(kLocalMachine, "SOFTWARE\\KESTAL\\Morvo\\9.5", "Path",
                            folder + "\\Morvo 9.5", kKeyWow64_32Key));
    config_ = folder + "\\with blanks\\bridge model.cfg";
    WriteBytes(config_, "#Morvo 9.5\r\n");
    ASSERT_TRUE(WriteString(kClassesRoot, ".cfg", "Content Type", "text/plain"));
    ASSERT_TRUE(WriteString(kClassesRoot, ".cfg\\OpenWithProgids", "Other.Editor", ""));
  }

  // Everything the package promises, for the package that should be installed
  // in `folder`.
  void ExpectInstalled(const Package& package, const std::string& description,
                       const std::string& folder) {
    EXPECT_EQ(InstalledVersions(), std::vector<std::string>{package.version});
    EXPECT_EQ(ProductEntry(),
              "Zandrell Launcher by Zandrell, our icon, in " + folder + "\\, per machine");
    for (const char* program : {"\\ZandrellLauncher.exe", "\\ZandrellCheck.exe"}) {
      EXPECT_TRUE(ReadBytes(folder + program) == ReadBytes(package.files + program))
          << program << " is missing or not the one in " << package.files << ".msi";
    }
    const std::string launcher = folder + "\\ZandrellLauncher.exe";
    const struct {
      std::string key;
      std::string value;  // the default value; "" for a key without values
    } keys[] = {
        {".cfg", kProgId},
        {kProgId, description},
        {kProgId + "\\DefaultIcon", "%1"},
        {kProgId + "\\Shell", ""},
        {kProgId + "\\Shell\\Open", ""},
        {kProgId + "\\Shell\\Open\\Command", "\"" + launcher + "\" \"%1\""},
    };
    for (const auto& k : keys) {
      if (k.value.empty()) {
        EXPECT_EQ(ValueCount(k.key), 0) << k.key;
      } else {
        EXPECT_EQ(ClassesDefaultValue(k.key), WithTerminator(k.value)) << k.key;
        EXPECT_EQ(ValueCount(k.key), k.key == ".cfg" ? 2 : 1) << k.key;
      }
    }
    EXPECT_EQ(ForeignValues(), kForeignValues);
    // "Open with" keeps us when another program takes .cfg; Default Apps
    // finds our capabilities; the next installation finds the folder.
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
    };
    for (const auto& v : values) {
      EXPECT_EQ(MachineValue(v.key, v.name), WithTerminator(v.value)) << v.key << " " << v.name;
    }

    ClearStubStarts();
    EXPECT_EQ(RunExact("\"" + BuildFolder() + "\\shell_open.exe\" \"" + config_ + "\""), 0);
    const std::string started = tool_ + "\t1\t\"" + tool_ + "\" \"" + config_ + "\"";
    EXPECT_EQ(StubStarts(), std::vector<std::string>{started});
  }

  // Nothing of ours is left, in `folder` or in the registry; what others
  // added under .cfg is.
  void ExpectRemoved(const std::string& folder) {
    EXPECT_EQ(InstalledVersions(), std::vector<std::string>{});
    EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(KeyExists(kClassesRoot, kProgId));
    EXPECT_EQ(ClassesDefaultValue(".cfg"), "<none>");
    EXPECT_EQ(MachineValue("SOFTWARE\\Classes\\.cfg\\OpenWithProgids", kProgId), "<none>");
    EXPECT_EQ(MachineValue("SOFTWARE\\RegisteredApplications", "Zandrell Launcher"), "<none>");
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

TEST_F(InstallerTest, InstallsUpgradesRepairsAndRemovesCleanly) {
  const Package built = Built(), rebuilt = Rebuilt(), upgrade = Upgrade();
  const Package none = {};
  const std::string chosen = " INSTALLFOLDER=\"" + kChosenFolder + "\"";
  const struct {
    const char* step;
    void (*before)();
    std::string arguments;
    int exit_code;
    const Package& installed;
  } steps[] = {
      // Per user, the association would hold for one user only: refused
      // (ERROR_INSTALL_FAILURE). Wine settles ALLUSERS=2 MSIINSTALLPERUSER=1
      // to a per-machine installation, so only an empty ALLUSERS asks it for
      // one per user.
      {"per user", nullptr, "/i " + built.Msi() + " ALLUSERS=\"\"", 1603, none},
      {"install", nullptr, "/i " + built.Msi() + chosen, 0, built},
      // The same package again changes nothing.
      {"install again", nullptr, "/i " + built.Msi(), 0, built},
      // Another build of the same version replaces the installed one.
      {"another build", nullptr, "/i " + rebuilt.Msi(), 0, rebuilt},
      {"upgrade", nullptr, "/i " + upgrade.Msi(), 0, upgrade},
      // What msiexec /fomus does; Wine's msiexec /f hands a package path on
      // as a product code and takes no product code at all.
      {"repair", DeleteProgramAndKey, "/i " + upgrade.Msi() + " REINSTALL=ALL REINSTALLMODE=omus", 0,
       upgrade},
      // ERROR_INSTALL_FAILURE: the launch condition refuses.
      {"downgrade", nullptr, "/i " + built.Msi(), 1603, upgrade},
      {"uninstall", nullptr, "/x " + upgrade.Msi(), 0, none},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    if (s.before != nullptr) s.before();
    ASSERT_EQ(Msiexec(s.arguments), s.exit_code);
    if (s.installed.version.empty()) {
      ExpectRemoved(kChosenFolder);
    } else {
      ExpectInstalled(s.installed, kEnglish, kChosenFolder);
    }
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
  for (const auto& c : cases) {
    if (std::string(locale) != c.locale) continue;
    // Without a folder of its own, the package installs into the default one.
    ASSERT_EQ(Msiexec("/i " + Built().Msi()), 0);
    ExpectInstalled(Built(), c.description, InstallFolder());
    EXPECT_EQ(Msiexec("/x " + Built().Msi()), 0);
    ExpectRemoved(InstallFolder());
    return;
  }
  ADD_FAILURE() << "LC_ALL names none of the locales this case knows: " << locale;
}

}  // namespace
