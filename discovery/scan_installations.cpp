#include "discovery/scan_installations.h"

#include <cstdio>
#include <cstring>

#include "discovery/install_folder.h"
#include "discovery/version_name.h"
#include "platform/platform.h"

namespace {

const char kMorvoRoot[] = "SOFTWARE\\KESTAL\\Morvo";
const char kTessalineRoot[] = "SOFTWARE\\KESTAL\\Tessaline";

// Tessaline reads Morvo's configurations too, so a Tessaline configuration
// may be opened from a Morvo installation; the Tessaline root comes last so
// that its installation wins at an equal version.
struct RootScan {
  ToolKind wanted;
  const char* root;
};

const RootScan kRootScans[] = {
    {kToolMorvo, kMorvoRoot},
    {kToolTessaline, kMorvoRoot},
    {kToolTessaline, kTessalineRoot},
};

struct ExecutablePrefix {
  ToolKind kind;
  const char* prefix;
};

const ExecutablePrefix kExecutablePrefixes[] = {
    {kToolMorvo, "Morvo"},
    {kToolTessaline, "Quin"},
};

const char* const kBitnessTexts[] = {"32", "64"};

constexpr int kKeyNameSize = 255;
constexpr int kKeyPathSize = 255;

// The scan reads the tools' 32-bit registrations, the root and each version
// key alike: a 32-bit process sees that view anyway, and the view is named
// so that the same code reads the same keys whatever it is built as.
constexpr uint32_t kRegistryAccess = kKeyRead | kKeyWow64_32Key;

const char* PrefixFor(ToolKind kind) {
  for (const ExecutablePrefix& entry : kExecutablePrefixes) {
    if (entry.kind == kind) return entry.prefix;
  }
  return nullptr;
}

// Reads the installation folder of one version. A value that fills the whole
// buffer without a terminator would be a truncated path: that version is
// skipped rather than probed under a wrong name.
VersionOutcome ReadInstallFolder(const char* version_path, char* folder, uint32_t folder_size,
                                 long* error, uint32_t* type) {
  RegistryKey version_key = nullptr;
  *error = OpenRegistryKey(kLocalMachine, version_path, 0, kRegistryAccess, &version_key);
  if (*error != 0) return kVersionKeyNotOpened;
  uint32_t size = folder_size;
  *error = QueryRegistryValue(version_key, "Path", type, reinterpret_cast<unsigned char*>(folder),
                              &size);
  if (*error != 0) {
    CloseRegistryKey(version_key);
    return kPathNotRead;
  }
  *error = CloseRegistryKey(version_key);
  if (*error != 0) return kVersionKeyNotClosed;
  if (std::memchr(folder, '\0', folder_size) == nullptr) return kPathUnterminated;
  // A folder that is not a full path would be looked for relative to the
  // current folder, which is the document's when the shell starts us: a
  // folder beside a downloaded configuration could supply the program.
  return IsFullFolderPath(folder) ? kVersionProbed : kPathNotFullFolder;
}

// Ends the scan of a root that could not be read to its end.
int StopRoot(RegistryKey root, long error, uint32_t index, ScanTrace* trace) {
  CloseRegistryKey(root);
  if (trace != nullptr) {
    trace->roots.back().stop_error = error;
    trace->roots.back().stopped_at = index;
  }
  return -1;
}

}  // namespace

int ScanInstallations(CandidateList* list, const InstallCandidate& wanted, ScanTrace* trace) {
  for (const RootScan& scan : kRootScans) {
    if (scan.wanted == wanted.kind) ScanVersionRoot(scan.root, wanted.kind, list, trace);
  }
  if (list->empty()) return -1;
  SortCandidates(list);
  return 0;
}

int ScanVersionRoot(const char* root_path, ToolKind kind, CandidateList* list, ScanTrace* trace) {
  RegistryKey root = nullptr;
  long opened = OpenRegistryKey(kLocalMachine, root_path, 0, kRegistryAccess, &root);
  if (trace != nullptr) {
    trace->roots.emplace_back();
    trace->roots.back().root = root_path;
    trace->roots.back().kind = kind;
    trace->roots.back().open_error = opened;
  }
  if (opened != 0) return -1;
  uint32_t count = 0;
  long counted = QuerySubkeyCount(root, &count);
  if (counted != 0) return StopRoot(root, counted, 0, trace);
  if (trace != nullptr) trace->roots.back().subkeys = count;

  for (uint32_t index = 0; index < count; ++index) {
    char name[kKeyNameSize] = {};
    uint32_t name_length = kKeyNameSize;
    long enumerated = EnumerateSubkey(root, index, name, &name_length);
    if (enumerated != 0) return StopRoot(root, enumerated, index, trace);
    VersionSeen* seen = nullptr;
    if (trace != nullptr) {
      trace->versions.emplace_back();
      seen = &trace->versions.back();
      seen->root = root_path;
      seen->kind = kind;
      seen->key_name = name;
    }
    uint32_t major = 0, minor = 0;
    if (ReadVersionName(name, &major, &minor) != 0) continue;

    // The numbers name the key, not the enumerated name: "08.00" leads to "8.0".
    char version_path[kKeyPathSize] = {};
    int written = std::snprintf(version_path, sizeof version_path, "%s\\%u.%u", root_path,
                                major, minor);
    if (written < 0 || written >= kKeyPathSize) continue;

    char folder[kFilePathSize] = {};
    long error = 0;
    uint32_t type = 0;
    VersionOutcome read = ReadInstallFolder(version_path, folder, sizeof folder, &error,
                                            seen != nullptr ? &type : nullptr);
    if (seen != nullptr) {
      seen->major = major;
      seen->minor = minor;
      seen->outcome = read;
      seen->error = error;
      seen->path_type = type;
      if (PathReadWhole(read)) seen->folder = folder;
    }
    if (read == kVersionKeyNotClosed) return StopRoot(root, error, index, trace);
    if (read != kVersionProbed) continue;
    std::vector<BuildSeen>* builds = seen != nullptr ? &seen->builds : nullptr;
    ProbeExecutable(kind, folder, major, minor, kBitness32, list, builds);
    ProbeExecutable(kind, folder, major, minor, kBitness64, list, builds);
  }
  long closed = CloseRegistryKey(root);
  if (closed != 0 && trace != nullptr) {
    trace->roots.back().stop_error = closed;
    trace->roots.back().stopped_at = count;
  }
  return closed == 0 ? 0 : -1;
}

int ProbeExecutable(ToolKind kind, const char* folder, uint32_t major, uint32_t minor,
                    int32_t bitness, CandidateList* list, std::vector<BuildSeen>* seen) {
  const char* prefix = PrefixFor(kind);
  if (prefix == nullptr || (bitness != kBitness32 && bitness != kBitness64)) return -1;
  const char* bits = kBitnessTexts[bitness];

  InstallCandidate candidate = {};
  // A folder too long for the path would give a cut-off name that might even
  // exist; such a build is skipped instead.
  int written = std::snprintf(candidate.exe_path, sizeof candidate.exe_path,
                              "%s\\Exec%s\\%s%s.exe", folder, bits, prefix, bits);
  if (written < 0 || written >= kFilePathSize) {
    if (seen != nullptr) seen->push_back(BuildSeen{bitness, kBuildPathTooLong, ""});
    return -1;
  }
  bool found = GetPathAttributes(candidate.exe_path) != kInvalidFileAttributes;
  if (seen != nullptr) {
    seen->push_back(BuildSeen{bitness, found ? kBuildFound : kBuildMissing, candidate.exe_path});
  }
  if (!found) return -1;

  candidate.major = major;
  candidate.minor = minor;
  candidate.revision = 0;
  candidate.kind = kind;
  candidate.bitness = bitness;
  AppendCandidate(list, candidate);
  return 0;
}
