// Every platform call of each job made to fail in turn, from the same
// registry and disk each time: the job must end as designed for that call,
// close every key it opened and never start or write anything it shouldn't.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/launcher.h"
#include "association/association.h"
#include "platform/host/host_platform.h"
#include "tests/support/registry_helpers.h"

namespace {

namespace fs = std::filesystem;

const std::string kMorvo = "SOFTWARE\\KESTAL\\Morvo";
const std::string kTessaline = "SOFTWARE\\KESTAL\\Tessaline";
const std::string kProgIdKey = "Zandrell.Launcher.1";

struct Outcome {
  int result;
  std::vector<PlatformCall> calls;
  std::vector<StartedProgram> started;
};

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() / ("faults-" + std::to_string(getpid()));
    fs::remove_all(base_);
    fs::create_directories(base_);
  }
  void TearDown() override { fs::remove_all(base_); }

  // Builds the state afresh, then runs the command line with the k-th call
  // failing (k == 0: none).
  Outcome Run(const std::function<void()>& state, const std::string& command_line, int k,
              long error) {
    ResetHostPlatform();
    state();
    ClearRecordedCalls();
    if (k > 0) FailCallNumber(k, error);
    Outcome outcome;
    outcome.result = RunLauncher(command_line.c_str());
    outcome.calls = RecordedCalls();
    outcome.started = StartedPrograms();
    EXPECT_EQ(FiredFaults(), k > 0 ? 1 : 0) << "call " << k << " was never made";
    EXPECT_EQ(OpenKeyCount(), 0) << "a key was left open after failing call " << k;
    return outcome;
  }

  // Puts a tool's builds ("32", "64") on disk and its version in the registry.
  void Install(const std::string& root, const std::string& version, const std::string& builds,
               const std::string& prefix) {
    std::string folder = (base_ / (root.substr(16) + "-" + version)).string();
    for (const char* bits : {"32", "64"}) {
      if (builds.find(bits) == std::string::npos) continue;
      fs::create_directories(folder + "/Exec" + bits);
      std::ofstream(folder + "/Exec" + bits + "/" + prefix + bits + ".exe") << "MZ";
    }
    WriteString(kLocalMachine, root + "\\" + version, "Path", AsWindowsPath(folder), kKeyWow64_32Key);
  }

  static void Report(const char* job, int faults) {
    ::testing::Test::RecordProperty(std::string(job) + "_faults", faults);
    std::printf("[ faults   ] %s: %d injected faults\n", job, faults);
  }

  fs::path base_;
};

std::string Where(int k, const std::vector<PlatformCall>& baseline, long error) {
  return "call " + std::to_string(k) + " " + baseline[k - 1].function + "(" +
         baseline[k - 1].argument + ") failing with " + std::to_string(error);
}

TEST_F(FaultInjectionTest, Registration) {
  auto state = [] { SetOwnModulePath("C:\\Program Files\\Zandrell\\ZandrellLauncher.exe"); };
  const Outcome baseline = Run(state, "x.exe /regserver", 0, 0);
  ASSERT_EQ(baseline.result, 0);
  const int n = static_cast<int>(baseline.calls.size());
  int faults = 0;
  for (int k = 1; k <= n; ++k, ++faults) {
    const std::string where = Where(k, baseline.calls, kErrorAccessDenied);
    Outcome o = Run(state, "x.exe /regserver", k, kErrorAccessDenied);
    const std::string& failed = baseline.calls[k - 1].function;
    ASSERT_EQ(o.calls[k - 1].function, failed) << where;
    // Only the calls without an error result cannot make the job fail.
    bool can_fail = failed != "GetDefaultUiLanguage" && failed != "NotifyAssociationsChanged" &&
                    failed != "SetQuietErrorMode";
    EXPECT_EQ(o.result, can_fail ? -1 : 0) << where;
    if (!can_fail) continue;
    for (size_t i = static_cast<size_t>(k); i < o.calls.size(); ++i) {
      EXPECT_EQ(o.calls[i].function, "CloseRegistryKey") << where << ", then " << i + 1;
    }
    EXPECT_EQ(AssociationNotifications(), 0) << where;
  }
  Report("register", faults);
}

TEST_F(FaultInjectionTest, Removal) {
  auto state = [] {
    ASSERT_EQ(RegisterAssociation(), 0);
    for (const char* key : {".cfg\\OpenWithProgids", ".cfg\\a\\b\\c", ".cfg\\a\\b2",
                            "Zandrell.Launcher.1\\Shell\\Open\\ddeexec\\Topic"}) {
      ASSERT_TRUE(WriteKey(kClassesRoot, key));
    }
  };
  const Outcome baseline = Run(state, "x.exe -UNREGSERVER", 0, 0);
  ASSERT_EQ(baseline.result, 0);
  const int n = static_cast<int>(baseline.calls.size());
  int faults = 0;
  for (long error : {kErrorAccessDenied, kErrorFileNotFound, kErrorKeyDeleted}) {
    for (int k = 1; k <= n; ++k, ++faults) {
      const std::string where = Where(k, baseline.calls, error);
      Outcome o = Run(state, "x.exe -UNREGSERVER", k, error);
      const PlatformCall& failed = baseline.calls[k - 1];
      ASSERT_EQ(o.calls[k - 1].function, failed.function) << where;
      // Tolerated by design: a key that vanished before it could be opened;
      // a first, direct deletion attempt (emptying the key follows, and a
      // final deletion always comes right after closing the emptied key); an
      // enumeration that would have found nothing anyway; the notification.
      // (The machine's classes key itself is no key that may vanish.)
      bool vanished = failed.function == "OpenRegistryKey" && error == kErrorFileNotFound &&
                      failed.argument != kMachineClasses;
      bool first_delete = failed.function == "DeleteRegistryKey" &&
                          baseline.calls[k - 2].function != "CloseRegistryKey";
      bool empty_anyway = failed.function == "EnumerateSubkey" && failed.result == kErrorNoMoreItems;
      bool tolerated = vanished || first_delete || empty_anyway ||
                       failed.function == "NotifyAssociationsChanged" || failed.function == "SetQuietErrorMode";
      EXPECT_EQ(o.result, tolerated ? 0 : -1) << where;
      if (o.result == 0 && !vanished) {
        EXPECT_FALSE(KeyExists(kClassesRoot, ".cfg")) << where;
        EXPECT_FALSE(KeyExists(kClassesRoot, kProgIdKey)) << where;
      }
    }
  }
  Report("unregister", faults);
}

TEST_F(FaultInjectionTest, OpeningAConfiguration) {
  Install(kMorvo, "1.0", "32 64", "Quin");
  Install(kMorvo, "1.0", "32", "Morvo");
  Install(kMorvo, "2.0", "32", "Quin");
  Install(kMorvo, "2.5", "32 64", "Morvo");
  Install(kTessaline, "2.0", "64", "Quin");
  Install(kTessaline, "1.5", "32 64", "Quin");
  fs::create_directories(base_ / "cfg");
  std::ofstream(base_ / "cfg" / "part.cfg") << "\xefTessaline part\r\n";
  std::ofstream(base_ / "cfg" / "model.cfg") << "\xefMorvo model\r\n";
  auto state = [] {
    // The folders on disk stay; the registry is rebuilt each time.
    fs::path base = fs::temp_directory_path() / ("faults-" + std::to_string(getpid()));
    for (const auto& [root, version] : {std::pair{kMorvo, "1.0"}, {kMorvo, "2.0"}, {kMorvo, "2.5"},
                                         {kTessaline, "2.0"}, {kTessaline, "1.5"}}) {
      std::string folder = (base / (root.substr(16) + "-" + version)).string();
      WriteString(kLocalMachine, root + "\\" + version, "Path", AsWindowsPath(folder), kKeyWow64_32Key);
    }
    WriteKey(kLocalMachine, kMorvo + "\\3.0", kKeyWow64_32Key);  // no "Path"
    WriteKey(kLocalMachine, kTessaline + "\\Settings", kKeyWow64_32Key);
  };
  // The newest build for each: Morvo 2.5 in 64-bit; for Tessaline, 2.0 from
  // its own root, which wins over the Quin 2.0 under Morvo's.
  const std::pair<const char*, std::string> opened[] = {
      {"part.cfg", "Tessaline-2.0\\Exec64\\Quin64.exe"},
      {"model.cfg", "Morvo-2.5\\Exec64\\Morvo64.exe"},
  };
  int faults = 0;
  for (const auto& [config, newest] : opened) {
    // Named as the shell would: one leading slash would make it a switch.
    const std::string path = AsWindowsPath((base_ / "cfg" / config).string());
    const std::string command_line = "x.exe \"" + path + "\"";
    const Outcome baseline = Run(state, command_line, 0, 0);
    ASSERT_EQ(baseline.result, 0) << config;
    ASSERT_EQ(baseline.started.size(), 1u) << config;
    const std::string exe = AsWindowsPath(base_.string()) + "\\" + newest;
    ASSERT_EQ(baseline.started[0].command_line, "\"" + exe + "\" \"" + path + "\"") << config;
    // Every executable the scan found: the only ones that may ever be started.
    std::set<std::string> candidates;
    for (const PlatformCall& call : baseline.calls) {
      if (call.function == "GetPathAttributes" && call.result == 0 && call.argument != path) {
        candidates.insert("\"" + call.argument + "\" \"" + path + "\"");
      }
    }
    ASSERT_GE(candidates.size(), 3u) << config;
    const int n = static_cast<int>(baseline.calls.size());
    for (long error : {kErrorAccessDenied, kErrorFileNotFound}) {
      for (int k = 1; k <= n; ++k, ++faults) {
        const std::string where = std::string(config) + ": " + Where(k, baseline.calls, error);
        Outcome o = Run(state, command_line, k, error);
        const PlatformCall& failed = baseline.calls[k - 1];
        ASSERT_EQ(o.calls[k - 1].function, failed.function) << where;
        ASSERT_LE(o.started.size(), 1u) << where;
        bool started = false;
        for (const PlatformCall& call : o.calls) {
          if (call.function == "StartProgram") started = call.result > 31;
        }
        EXPECT_EQ(o.result == 0, started && o.started.size() == 1) << where;
        if (!o.started.empty()) {
          EXPECT_EQ(candidates.count(o.started[0].command_line), 1u)
              << where << ": started " << o.started[0].command_line;
          EXPECT_EQ(o.started[0].show, kShowNormal) << where;
        }
        // Without the file, its first line or the start itself nothing can work;
        // the error mode is no step the job depends on.
        bool fatal = (failed.function == "GetPathAttributes" && failed.argument == path) ||
                     failed.function == "ReadTextFile" || failed.function == "StartProgram";
        if (failed.function == "SetQuietErrorMode") {
          EXPECT_EQ(o.result, 0) << where;
        }
        if (fatal) {
          EXPECT_EQ(o.result, -1) << where;
          EXPECT_TRUE(o.started.empty()) << where;
        }
      }
    }
  }
  Report("open", faults);
}

}  // namespace
