// Registry trees nobody controls, built from the fuzz input: names of any
// length up to and past the 255 characters a key name may have, deep
// nesting, values of any type and size, and calls that fail as if a key had
// vanished meanwhile. The scan and the removal run over them; whatever they
// meet, no key stays open, every candidate names an executable that exists,
// and only the newest candidate is started, with its exact path.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/launch_version.h"
#include "association/association.h"
#include "discovery/install_folder.h"
#include "discovery/scan_installations.h"
#include "platform/host/host_platform.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

namespace fs = std::filesystem;

// A folder holding all four builds, for values that point at it, named as a
// full Windows path (the in-memory platform maps drive C: to the Linux root).
std::string InstallFolder() {
  static const std::string folder = [] {
    std::string home = "/tmp/zandrell-fuzz-registry-" + std::to_string(getpid());
    for (const char* exe : {"Exec32/Morvo32.exe", "Exec64/Morvo64.exe", "Exec32/Quin32.exe",
                            "Exec64/Quin64.exe"}) {
      fs::create_directories(fs::path(home + "/" + exe).parent_path());
      std::ofstream(home + "/" + exe) << "MZ";
    }
    std::atexit([] { fs::remove_all("/tmp/zandrell-fuzz-registry-" + std::to_string(getpid())); });
    return "C:" + home;
  }();
  return folder;
}

struct Handle {
  RegistryKey key;
  uint32_t view;
};

struct Fault {
  std::string function;
  int occurrence;
  long error;
};

const char* const kFunctions[] = {"OpenRegistryKey",  "QuerySubkeyCount", "EnumerateSubkey",
                                  "QueryRegistryValue", "CloseRegistryKey", "DeleteRegistryKey",
                                  "GetPathAttributes", "StartProgram"};
const long kErrors[] = {kErrorFileNotFound, kErrorKeyDeleted, kErrorAccessDenied, kErrorMoreData,
                        kErrorNoMoreItems, kErrorInvalidHandle};

// A key name: fuzz bytes (never a zero or a backslash, which no name holds),
// or a version number, stretched to a chosen length by repeating its end.
std::string Name(FuzzedDataProvider& in) {
  std::string name;
  if (in.ConsumeBool()) {
    name = std::to_string(in.ConsumeIntegralInRange<uint32_t>(0, 20)) + "." +
           std::to_string(in.ConsumeIntegralInRange<uint32_t>(0, 20));
  } else {
    name = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(1, 16));
    for (char& c : name) {
      if (c == '\0' || c == '\\') c = '_';
    }
  }
  if (name.empty()) name = "k";
  if (in.ConsumeBool()) name.resize(in.ConsumeIntegralInRange<size_t>(name.size(), 300), name.back());
  return name;
}

std::string ValueData(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return InstallFolder() + std::string(1, '\0');
    case 1:
      return InstallFolder();  // without its terminator
    case 2: {  // padded up to or past the buffer's size
      std::string data = InstallFolder();
      data.resize(in.ConsumeIntegralInRange<size_t>(data.size(), 300), in.ConsumeBool() ? '\0' : '/');
      return data;
    }
    default:
      return in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 600));
  }
}

// Builds the tree; returns the faults to arm once it stands.
std::vector<Fault> Build(FuzzedDataProvider& in) {
  struct Base {
    RegistryKey root;
    const char* path;
    uint32_t view;
  };
  const Base bases[] = {
      {kLocalMachine, "SOFTWARE\\KESTAL\\Morvo", kKeyWow64_32Key},
      {kLocalMachine, "SOFTWARE\\KESTAL\\Tessaline", kKeyWow64_32Key},
      {kLocalMachine, "SOFTWARE\\KESTAL\\Morvo", kKeyWow64_64Key},
      {kClassesRoot, ".cfg", 0},
      {kClassesRoot, "Zandrell.Launcher.1", 0},
  };
  std::vector<Handle> handles;
  for (const Base& base : bases) {
    if (!in.ConsumeBool()) continue;
    RegistryKey key = nullptr;
    if (CreateRegistryKey(base.root, base.path, kKeyAllAccess | base.view, &key) == 0) {
      handles.push_back({key, base.view});
    }
  }
  std::vector<Fault> faults;
  int steps = in.ConsumeIntegralInRange(0, 60);
  for (int step = 0; step < steps && in.remaining_bytes() > 0; ++step) {
    int op = in.ConsumeIntegralInRange(0, 3);
    if (op == 3) {
      faults.push_back({in.PickValueInArray(kFunctions), in.ConsumeIntegralInRange(1, 80),
                        in.PickValueInArray(kErrors)});
      continue;
    }
    if (handles.empty()) continue;
    const Handle parent = handles[in.ConsumeIntegralInRange<size_t>(0, handles.size() - 1)];
    if (op == 2) {
      std::string value_name = in.ConsumeBool() ? "Path" : in.ConsumeRandomLengthString(8);
      uint32_t type = in.ConsumeBool() ? kRegSz : in.ConsumeIntegralInRange<uint32_t>(0, 11);
      std::string data = ValueData(in);
      SetRegistryValue(parent.key, value_name.c_str(), type,
                       reinterpret_cast<const unsigned char*>(data.data()),
                       static_cast<uint32_t>(data.size()));
      continue;
    }
    // Created relative to an open key, so that paths may grow past what a
    // path from the root may hold.
    RegistryKey child = nullptr;
    if (CreateRegistryKey(parent.key, Name(in).c_str(), kKeyAllAccess | parent.view, &child) == 0) {
      if (op == 1 && handles.size() < 64) {
        handles.push_back({child, parent.view});
      } else {
        CloseRegistryKey(child);
      }
    }
  }
  for (const Handle& handle : handles) CloseRegistryKey(handle.key);
  return faults;
}

void CheckScan(ToolKind kind) {
  CandidateList list;
  InstallCandidate wanted = {};
  wanted.kind = kind;
  int result = ScanInstallations(&list, wanted);
  FUZZ_CHECK(OpenKeyCount() == 0);
  FUZZ_CHECK((result == 0) == !list.empty());
  FUZZ_CHECK(std::is_sorted(list.begin(), list.end(), CandidateLess));
  const char* prefix = kind == kToolMorvo ? "Morvo" : "Quin";
  for (const InstallCandidate& c : list) {
    FUZZ_CHECK(std::memchr(c.exe_path, '\0', sizeof c.exe_path) != nullptr);
    FUZZ_CHECK(c.kind == kind && (c.bitness == kBitness32 || c.bitness == kBitness64));
    const char* bits = c.bitness == kBitness64 ? "64" : "32";
    std::string ending = std::string("\\Exec") + bits + "\\" + prefix + bits + ".exe";
    std::string path = c.exe_path;
    FUZZ_CHECK(path.size() > ending.size() &&
               path.compare(path.size() - ending.size(), ending.size(), ending) == 0);
    struct stat info;
    FUZZ_CHECK(stat(HostFilePath(path.c_str()).c_str(), &info) == 0);
    // Never one found through the current folder.
    FUZZ_CHECK(IsFullFolderPath(c.exe_path));
  }
  size_t started = StartedPrograms().size();
  const char config[] = "C:\\Users\\me\\my model.cfg";
  int launched = LaunchVersion(list, wanted, config);
  if (list.empty()) {
    FUZZ_CHECK(launched == -1 && StartedPrograms().size() == started);
  } else if (StartedPrograms().size() > started) {
    FUZZ_CHECK(StartedPrograms().back().command_line ==
               "\"" + std::string(list.back().exe_path) + "\" \"" + config + "\"");
  }
}

bool Exists(const char* path) {
  RegistryKey key = nullptr;
  if (OpenRegistryKey(kClassesRoot, path, 0, kKeyRead, &key) != 0) return false;
  CloseRegistryKey(key);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResetHostPlatform();
  FuzzedDataProvider in(data, size);
  std::vector<Fault> faults = Build(in);
  FUZZ_CHECK(OpenKeyCount() == 0);
  for (const Fault& fault : faults) FailCall(fault.function, fault.occurrence, fault.error);

  CheckScan(kToolMorvo);
  CheckScan(kToolTessaline);

  int fired = FiredFaults();
  int result = UnregisterAssociation();
  FUZZ_CHECK(OpenKeyCount() == 0);
  FUZZ_CHECK(result == 0 || result == -1);
  // Removed means gone, unless a fault may have passed a key off as vanished.
  // (A fault still armed can only make a key look absent, never present.)
  if (result == 0 && FiredFaults() == fired) {
    FUZZ_CHECK(!Exists(kExtensionKey) && !Exists(kProgId));
  }
  return 0;
}
