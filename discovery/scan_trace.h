// What the installation scan met and decided, step by step, for the check
// program that explains the launcher. The launcher passes no trace, and the
// scan then does nothing beyond its own work.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "discovery/install_candidate.h"

// How far one version subkey got.
enum VersionOutcome {
  kVersionProbed,        // its folder was read and its builds looked for
  kNotAVersionName,      // the name reads as no major.minor
  kVersionKeyNotOpened,  // the key the numbers name can't be opened (`error`)
  kPathNotRead,          // no "Path" value, or it can't be read (`error`)
  kPathUnterminated,     // "Path" fills its buffer without a terminator
  kPathNotFullFolder,    // "Path" would be resolved against the current folder
  kVersionKeyNotClosed,  // closing the key failed: the root's scan ended here
};

enum BuildOutcome {
  kBuildFound,
  kBuildMissing,
  kBuildPathTooLong,  // folder and file name together don't fit a path
};

// Whether "Path" was read whole, so that there is a folder to show: probed,
// or passed over for what it says.
inline bool PathReadWhole(VersionOutcome outcome) {
  return outcome == kVersionProbed || outcome == kPathNotFullFolder;
}

struct BuildSeen {
  int32_t bitness;
  BuildOutcome outcome;
  std::string exe_path;  // empty when too long
};

struct VersionSeen {
  std::string root;      // below HKEY_LOCAL_MACHINE
  ToolKind kind;         // what its builds are recorded as
  std::string key_name;  // as enumerated
  uint32_t major = 0;
  uint32_t minor = 0;
  VersionOutcome outcome = kNotAVersionName;
  long error = 0;
  uint32_t path_type = 0;  // the registry type "Path" is stored as
  std::string folder;     // "Path" as read, where it could be read whole
  std::vector<BuildSeen> builds;
};

struct RootSeen {
  std::string root;
  ToolKind kind;
  long open_error = 0;  // 0: the root was opened
  uint32_t subkeys = 0;
  // 0 when every subkey was read and the root closed; otherwise the error
  // that ended its scan, at subkey `stopped_at`.
  long stop_error = 0;
  uint32_t stopped_at = 0;
};

struct ScanTrace {
  std::vector<RootSeen> roots;
  std::vector<VersionSeen> versions;
};
