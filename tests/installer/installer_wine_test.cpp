// The Windows Installer package under Wine's msiexec, in a prefix of its own:
// installed, installed again, repaired, upgraded, refused as a downgrade and
// removed, one step after the other, with what the package promises checked
// after each step: the installed products, the files, every value of the
// association, and a configuration opened through the shell by the installed
// launcher.
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
Package Upgrade() {
  return {ZL_UPGRADE_VERSION,
          BuildFolder() + "\\installer-test\\ZandrellLauncher-" ZL_UPGRADE_VERSION};
}

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

// The installed product as Programs and Features shows it: its name, maker
// and icon.
std::string ProductEntry() {
  char product[39] = {};
  if (MsiEnumRelatedProductsA(kUpgradeCode, 0, 0, product) != ERROR_SUCCESS) return "<none>";
  std::string icon = ReadBytes(ProductInfo(product, "ProductIcon"));
  return ProductInfo(product, "ProductName") + " by " + ProductInfo(product, "Publisher") +
         (icon == ReadBytes(Built().files + "\\ZandrellLauncher.ico") ? ", our icon" : ", no icon");
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

std::string ForeignValue() {
  uint32_t type = 0;
  std::string data;
  if (!ReadValue(kClassesRoot, ".cfg", "Content Type", &type, &data)) return "<none>";
  return data;
}

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
  }

  // Everything the package promises, for the package that should be installed.
  void ExpectInstalled(const Package& package, const std::string& description) {
    EXPECT_EQ(InstalledVersions(), std::vector<std::string>{package.version});
    EXPECT_EQ(ProductEntry(), "Zandrell Launcher by Zandrell, our icon");
    for (const char* program : {"\\ZandrellLauncher.exe", "\\ZandrellCheck.exe"}) {
      EXPECT_TRUE(ReadBytes(InstallFolder() + program) == ReadBytes(package.files + program))
          << program << " is missing or not the one in " << package.files << ".msi";
    }
    const std::string launcher = InstallFolder() + "\\ZandrellLauncher.exe";
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
    EXPECT_EQ(ForeignValue(), WithTerminator("text/plain"));

    ClearStubStarts();
    EXPECT_EQ(RunExact("\"" + BuildFolder() + "\\shell_open.exe\" \"" + config_ + "\""), 0);
    const std::string started = tool_ + "\t1\t\"" + tool_ + "\" \"" + config_ + "\"";
    EXPECT_EQ(StubStarts(), std::vector<std::string>{started});
  }

  void ExpectRemoved() {
    EXPECT_EQ(InstalledVersions(), std::vector<std::string>{});
    EXPECT_EQ(GetFileAttributesA(InstallFolder().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(KeyExists(kClassesRoot, kProgId));
    EXPECT_EQ(ClassesDefaultValue(".cfg"), "<none>");
    EXPECT_EQ(ForeignValue(), WithTerminator("text/plain"));
  }

  std::string tool_;
  std::string config_;
};

// What an administrator does to a repair: the program and the open command's
// key deleted.
void DeleteProgramAndKey() {
  ASSERT_TRUE(DeleteFileA((InstallFolder() + "\\ZandrellLauncher.exe").c_str()));
  ASSERT_TRUE(RemoveTree(kClassesRoot, kProgId + "\\Shell"));
}

TEST_F(InstallerTest, InstallsUpgradesRepairsAndRemovesCleanly) {
  const Package built = Built(), upgrade = Upgrade();
  const Package none = {};
  const struct {
    const char* step;
    void (*before)();
    std::string arguments;
    int exit_code;
    const Package& installed;
  } steps[] = {
      {"install", nullptr, "/i " + built.Msi(), 0, built},
      // The same package again changes nothing.
      {"install again", nullptr, "/i " + built.Msi(), 0, built},
      // What msiexec /fomus does; Wine's msiexec /f hands a package path on
      // as a product code and takes no product code at all.
      {"repair", DeleteProgramAndKey, "/i " + built.Msi() + " REINSTALL=ALL REINSTALLMODE=omus", 0, built},
      {"upgrade", nullptr, "/i " + upgrade.Msi(), 0, upgrade},
      // ERROR_INSTALL_FAILURE: the launch condition refuses.
      {"downgrade", nullptr, "/i " + built.Msi(), 1603, upgrade},
      {"uninstall", nullptr, "/x " + upgrade.Msi(), 0, none},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    if (s.before != nullptr) s.before();
    ASSERT_EQ(Msiexec(s.arguments), s.exit_code);
    if (s.installed.version.empty()) {
      ExpectRemoved();
    } else {
      ExpectInstalled(s.installed, kEnglish);
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
    ASSERT_EQ(Msiexec("/i " + Built().Msi()), 0);
    EXPECT_EQ(ClassesDefaultValue(kProgId), WithTerminator(c.description));
    EXPECT_EQ(Msiexec("/x " + Built().Msi()), 0);
    return;
  }
  ADD_FAILURE() << "LC_ALL names none of the locales this case knows: " << locale;
}

}  // namespace
