#include "app/check/scan_report.h"

#include "app/check/report_format.h"
#include "platform/platform.h"

namespace {

std::string ErrorText(long error) {
  switch (error) {
    case kErrorFileNotFound: return "it does not exist";
    case kErrorAccessDenied: return "access is denied";
    case kErrorMoreData: return "it is too long";
    case kErrorNoUnicodeTranslation: return "it has a character outside the ANSI code page";
    default: return "error " + std::to_string(error);
  }
}

}  // namespace

std::string ToolName(ToolKind kind) {
  return kind == kToolMorvo ? "Morvo" : kind == kToolTessaline ? "Tessaline" : "neither tool";
}

std::string BitsText(int32_t bitness) { return bitness == kBitness64 ? "64-bit" : "32-bit"; }

std::string CandidateJson(const InstallCandidate& c) {
  return "{\"version\":" + JsonString(VersionText(c.major, c.minor)) + ",\"bits\":" +
         (c.bitness == kBitness64 ? "64" : "32") + ",\"exe\":" + JsonString(c.exe_path) + "}";
}

std::string RootKeyText(const std::string& root) { return "HKLM\\" + root; }

bool VersionUsed(const VersionSeen& seen) {
  for (const BuildSeen& build : seen.builds) {
    if (build.outcome == kBuildFound) return true;
  }
  return false;
}

std::string PassedOverReason(const VersionSeen& seen) {
  const std::string key = std::to_string(seen.major) + "." + std::to_string(seen.minor);
  switch (seen.outcome) {
    case kNotAVersionName:
      return "not a version name (major.minor)";
    case kVersionKeyNotOpened:
      return "its numbers lead to the key " + key + ", which can't be opened: " + ErrorText(seen.error);
    case kPathNotRead:
      if (seen.error == kErrorFileNotFound) return "no \"Path\" value";
      if (seen.error == kErrorMoreData) return "\"Path\" is longer than 259 characters";
      if (seen.error == kErrorNoUnicodeTranslation) {
        return "\"Path\" has a character outside the ANSI code page";
      }
      return "\"Path\" can't be read: " + ErrorText(seen.error);
    case kPathUnterminated:
      return "\"Path\" fills 260 bytes without ending";
    case kPathNotFullFolder:
      return std::string(seen.folder.empty() ? "\"Path\" is empty, so not a full folder path"
                                             : "\"Path\" is not a full folder path") +
             ": the launcher would look for the tool relative to its current folder";
    case kVersionKeyNotClosed:
      return "its key could not be closed, which ends the reading of this root";
    case kVersionProbed:
      break;
  }
  if (VersionUsed(seen)) return "";
  for (const BuildSeen& build : seen.builds) {
    if (build.outcome == kBuildPathTooLong) return "the folder's path is too long for its builds";
  }
  return std::string("no ") + (seen.kind == kToolMorvo ? "Morvo" : "Quin") + " build in its folder";
}

bool IsProblem(const VersionSeen& seen) {
  if (seen.outcome == kNotAVersionName || VersionUsed(seen)) return false;
  const bool morvo_root = seen.root.size() >= 5 && seen.root.compare(seen.root.size() - 5, 5, "Morvo") == 0;
  return !(seen.kind == kToolTessaline && morvo_root && seen.outcome == kVersionProbed);
}

std::string PathTypeNote(const VersionSeen& seen) {
  if (!PathReadWhole(seen.outcome) || seen.path_type == kRegSz) return "";
  // The launcher takes the value as it stands: a folder written with
  // %variables% is looked for under that very name.
  if (seen.path_type == kRegExpandSz) {
    return "\"Path\" is stored as REG_EXPAND_SZ, and the launcher does not expand its %variables%";
  }
  return "\"Path\" is stored as registry type " + std::to_string(seen.path_type) +
         ", not as text, and read as text all the same";
}

std::string PathTypeAside(const VersionSeen& seen) {
  const std::string note = PathTypeNote(seen);
  return note.empty() ? "" : " (" + note + ")";
}

std::string RootProblem(const RootSeen& root) {
  if (root.open_error == kErrorFileNotFound) return "not there";
  if (root.open_error != 0) return "can't be opened: " + ErrorText(root.open_error);
  if (root.stop_error == 0) return "";
  if (root.stopped_at >= root.subkeys) return "could not be closed: " + ErrorText(root.stop_error);
  std::string which = "subkey " + std::to_string(root.stopped_at + 1) + " of " +
                      std::to_string(root.subkeys);
  if (root.stop_error == kErrorMoreData) {
    return "reading stopped at " + which + ", whose name is longer than 254 characters";
  }
  if (root.stop_error == kErrorNoUnicodeTranslation) {
    return "reading stopped at " + which + ", whose name has a character outside the ANSI code page";
  }
  return "reading stopped at " + which + ": " + ErrorText(root.stop_error);
}
