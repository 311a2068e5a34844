// The words the check program uses for what the installation scan met.
#pragma once

#include <string>

#include "discovery/scan_trace.h"

std::string ToolName(ToolKind kind);
// "32-bit" or "64-bit".
std::string BitsText(int32_t bitness);
// A candidate as a JSON object: its version, bits and executable.
std::string CandidateJson(const InstallCandidate& candidate);
// "HKLM\SOFTWARE\KESTAL\Morvo" from the root's path below HKEY_LOCAL_MACHINE.
std::string RootKeyText(const std::string& root);

// Whether the launcher took at least one build from the version.
bool VersionUsed(const VersionSeen& seen);
// Why it took none, in a few words; "" when it took one.
std::string PassedOverReason(const VersionSeen& seen);
// A note on a "Path" stored as another type than plain text, which the
// launcher reads as it stands all the same; "" for plain text.
std::string PathTypeNote(const VersionSeen& seen);
// The same as an aside behind a verdict: " (...)", or "".
std::string PathTypeAside(const VersionSeen& seen);
// Whether a version passed over is worth a look: a key named as a version
// that leads to no build. A Morvo installation without Tessaline's Quin
// builds is as it should be, and so is a key like "Settings".
bool IsProblem(const VersionSeen& seen);

// What became of a root: "" when it was read to its end.
std::string RootProblem(const RootSeen& root);
