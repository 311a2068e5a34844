// Neither program loads a DLL planted beside it. A copy of ZandrellCheck.exe
// run from Downloads, or a launcher copied next to someone's files, must take
// every DLL it needs from the system folder. Wine is told to prefer a DLL
// found beside the program over its own (as Windows does for any DLL that is
// not a KnownDLL); the planted DLL records whether it was loaded.
//
// The launcher's copy registers the association; it is taken away again.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/registry_helpers.h"
#include "tests/wine/harness.h"

namespace {

// Windows takes a DLL that is no KnownDLL from the program's folder first,
// with no override: there nothing is set. Wine prefers its own builtin DLLs,
// so while the test runs it is told to prefer a DLL found beside `program`.
// It reads WINEDLLOVERRIDES from the environment it was started in, not from
// the one a Windows program hands to its child, so the per-program overrides
// in the registry say it instead.
class PreferDllBeside {
 public:
  PreferDllBeside(const std::string& program, const std::string& dll)
      : key_(RunningUnderWine() ? "Software\\Wine\\AppDefaults\\" + program : "") {
    if (!key_.empty()) {
      EXPECT_TRUE(WriteString(kCurrentUser, key_ + "\\DllOverrides", dll, "native,builtin"));
    }
  }
  ~PreferDllBeside() {
    if (!key_.empty()) {
      EXPECT_TRUE(RemoveTree(kCurrentUser, key_));
    }
  }

 private:
  std::string key_;
};

TEST(SideLoading, APlantedSystemDllIsNeverLoaded) {
  const struct {
    const char* program;
    const char* dll;
    const char* arguments;
  } cases[] = {
      {"ZandrellCheck.exe", "version", "association"},
      {"ZandrellLauncher.exe", "shell32", "/regserver"},
  };
  for (const auto& c : cases) {
    const std::string folder = ScratchFolder(std::string("planted-") + c.dll);
    const std::string program = folder + "\\" + c.program;
    const std::string planted = folder + "\\" + c.dll + ".dll";
    ASSERT_TRUE(CopyFileA((BuildFolder() + "\\" + c.program).c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((BuildFolder() + "\\planted\\" + c.dll + ".dll").c_str(), planted.c_str(),
                          FALSE));
    PreferDllBeside overrides(c.program, c.dll);
    RunExact("\"" + program + "\" " + c.arguments);
    EXPECT_EQ(GetFileAttributesA((planted + ".loaded").c_str()), INVALID_FILE_ATTRIBUTES)
        << c.program << " loaded the " << c.dll << ".dll planted beside it";
    // The launcher did register: the association it wrote goes again.
    RemoveTree(kClassesRoot, ".cfg");
    RemoveTree(kClassesRoot, "Zandrell.Launcher.1");
  }
}

// The mark is there when the DLL is loaded under the same overrides, so its
// absence above means something.
TEST(SideLoading, ThePlantedDllLeavesItsMarkWhenLoaded) {
  const std::string folder = ScratchFolder("planted-self");
  const std::string planted = folder + "\\version.dll";
  ASSERT_TRUE(CopyFileA((BuildFolder() + "\\planted\\version.dll").c_str(), planted.c_str(), FALSE));
  PreferDllBeside overrides("rundll32.exe", "version");
  EXPECT_EQ(RunExact("\"" + SystemProgram("rundll32.exe") + "\" \"" + planted + "\",Nothing"), 0);
  EXPECT_NE(GetFileAttributesA((planted + ".loaded").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
