#pragma once

#include "discovery/install_candidate.h"

// The longest command line that is started, terminator included.
constexpr int kCommandLineSize = 520;

// The candidate to start: the last one of the wanted kind in the sorted list,
// which is the newest version, in its 64-bit build where there is one; null
// when the list holds none of that kind.
const InstallCandidate* SelectCandidate(const CandidateList& list, const InstallCandidate& wanted);

// The command line that starts `exe_path` on the configuration: both quoted,
// a blank between them. Returns 0, or -1 when it does not fit the buffer.
int BuildCommandLine(const char* exe_path, const char* config_path,
                     char (&command_line)[kCommandLineSize]);

// Starts the newest candidate of the wanted kind with the configuration as
// its one quoted argument, without waiting for it. Returns 0 when started.
int LaunchVersion(const CandidateList& list, const InstallCandidate& wanted,
                  const char* config_path);
