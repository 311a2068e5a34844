// `ZandrellCheck versions`: every installation registered for the tools,
// what the launcher makes of each, and where it does not look.
#pragma once

#include <string>
#include <vector>

#include "discovery/scan_trace.h"

// What the launcher's scan finds for the files of one tool.
struct ToolScan {
  ToolKind kind = 0;
  ScanTrace trace;
  CandidateList candidates;
  int chosen = -1;  // index in `candidates` of the build it would start
};

// An installation registered where the launcher never looks: a key named as
// a version, with a "Path".
struct IgnoredInstallation {
  std::string key;     // "HKLM\SOFTWARE\KESTAL\Morvo\11.0" or "HKCU\..."
  std::string view;    // "64-bit" or "" where there is one view only
  std::string path;
  std::string reason;
};

struct VersionsExplanation {
  ToolScan tools[2];
  std::vector<IgnoredInstallation> ignored;
  int problems = 0;  // installations that are registered but not used, and roots not read whole
};

// Returns 0 when nothing is wrong, 1 otherwise.
int ExplainVersions(VersionsExplanation* explanation);

std::string VersionsReportText(const VersionsExplanation& explanation);
std::string VersionsReportJson(const VersionsExplanation& explanation);
