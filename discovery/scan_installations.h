// Finds the installed executables that can open a configuration of one kind.
#pragma once

#include "discovery/install_candidate.h"
#include "discovery/scan_trace.h"

// Fills `list` (empty on entry) with every installed executable for the
// wanted record's kind and sorts it. Returns 0 when it found at least one.
// A trace, when given, receives what each root and version came to.
int ScanInstallations(CandidateList* list, const InstallCandidate& wanted,
                      ScanTrace* trace = nullptr);

// Appends what the versions under one registry root hold, recorded as `kind`.
int ScanVersionRoot(const char* root_path, ToolKind kind, CandidateList* list,
                    ScanTrace* trace = nullptr);

// Appends the executable of one version and bitness if it exists.
int ProbeExecutable(ToolKind kind, const char* folder, uint32_t major, uint32_t minor,
                    int32_t bitness, CandidateList* list, std::vector<BuildSeen>* seen = nullptr);
