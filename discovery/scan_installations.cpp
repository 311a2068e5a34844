#include "discovery/scan_installations.h"

#include <cstdio>
#include <cstring>

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

// The scan runs in a 32-bit process and reads the tools' 32-bit registrations.
constexpr uint32_t kRootAccess = kKeyRead | kKeyWow64_32Key;

const char* PrefixFor(ToolKind kind) {
  for (const ExecutablePrefix& entry : kExecutablePrefixes) {
    if (entry.kind == kind) return entry.prefix;
  }
  return nullptr;
}

// What reading a version's folder tells the scan: use the folder, skip the
// version, or stop the root altogether (its key could not be closed).
enum FolderRead { kFolderRead, kSkipVersion, kStopRoot };

// Reads the installation folder of one version. A value that fills the whole
// buffer without a terminator would be a truncated path: that version is
// skipped rather than probed under a wrong name.
FolderRead ReadInstallFolder(const char* version_path, char* folder, uint32_t folder_size) {
  RegistryKey version_key = nullptr;
  if (OpenRegistryKey(kLocalMachine, version_path, 0, kKeyRead, &version_key) != 0) {
    return kSkipVersion;
  }
  uint32_t size = folder_size;
  if (QueryRegistryValue(version_key, "Path", nullptr, reinterpret_cast<unsigned char*>(folder),
                         &size) != 0) {
    CloseRegistryKey(version_key);
    return kSkipVersion;
  }
  if (CloseRegistryKey(version_key) != 0) return kStopRoot;
  return std::memchr(folder, '\0', folder_size) != nullptr ? kFolderRead : kSkipVersion;
}

}  // namespace

int ScanInstallations(CandidateList* list, const InstallCandidate& wanted) {
  for (const RootScan& scan : kRootScans) {
    if (scan.wanted == wanted.kind) ScanVersionRoot(scan.root, wanted.kind, list);
  }
  if (list->empty()) return -1;
  SortCandidates(list);
  return 0;
}

int ScanVersionRoot(const char* root_path, ToolKind kind, CandidateList* list) {
  RegistryKey root = nullptr;
  if (OpenRegistryKey(kLocalMachine, root_path, 0, kRootAccess, &root) != 0) return -1;
  uint32_t count = 0;
  if (QuerySubkeyCount(root, &count) != 0) {
    CloseRegistryKey(root);
    return -1;
  }
  for (uint32_t index = 0; index < count; ++index) {
    char name[kKeyNameSize] = {};
    uint32_t name_length = kKeyNameSize;
    if (EnumerateSubkey(root, index, name, &name_length) != 0) {
      CloseRegistryKey(root);
      return -1;
    }
    uint32_t major = 0, minor = 0;
    if (ReadVersionName(name, &major, &minor) != 0) continue;

    // The numbers name the key, not the enumerated name: "08.00" leads to "8.0".
    char version_path[kKeyPathSize] = {};
    int written = std::snprintf(version_path, sizeof version_path, "%s\\%u.%u", root_path,
                                major, minor);
    if (written < 0 || written >= kKeyPathSize) continue;

    char folder[kFilePathSize] = {};
    FolderRead read = ReadInstallFolder(version_path, folder, sizeof folder);
    if (read == kStopRoot) {
      CloseRegistryKey(root);
      return -1;
    }
    if (read == kSkipVersion) continue;
    ProbeExecutable(kind, folder, major, minor, kBitness32, list);
    ProbeExecutable(kind, folder, major, minor, kBitness64, list);
  }
  return CloseRegistryKey(root) == 0 ? 0 : -1;
}

int ProbeExecutable(ToolKind kind, const char* folder, uint32_t major, uint32_t minor,
                    int32_t bitness, CandidateList* list) {
  const char* prefix = PrefixFor(kind);
  if (prefix == nullptr || (bitness != kBitness32 && bitness != kBitness64)) return -1;
  const char* bits = kBitnessTexts[bitness];

  InstallCandidate candidate = {};
  // A folder too long for the path would give a cut-off name that might even
  // exist; such a build is skipped instead.
  int written = std::snprintf(candidate.exe_path, sizeof candidate.exe_path,
                              "%s\\Exec%s\\%s%s.exe", folder, bits, prefix, bits);
  if (written < 0 || written >= kFilePathSize) return -1;
  if (GetPathAttributes(candidate.exe_path) == kInvalidFileAttributes) return -1;

  candidate.major = major;
  candidate.minor = minor;
  candidate.revision = 0;
  candidate.kind = kind;
  candidate.bitness = bitness;
  AppendCandidate(list, candidate);
  return 0;
}
