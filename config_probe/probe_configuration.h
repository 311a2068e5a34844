#pragma once

#include "discovery/install_candidate.h"

// Learns from the first line of a configuration file which tool it belongs
// to. Returns 0 with `kind` set, or -1 with `kind` untouched.
int ProbeConfiguration(const char* path, ToolKind* kind);
