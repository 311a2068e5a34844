#pragma once

#include "discovery/install_candidate.h"

// Starts the newest candidate of the wanted kind with the configuration as
// its one quoted argument, without waiting for it. Returns 0 when started.
int LaunchVersion(const CandidateList& list, const InstallCandidate& wanted,
                  const char* config_path);
