#pragma once

#include <string>

#include "discovery/install_candidate.h"

// What the probe read, for the check program that explains the launcher.
struct ProbeTrace {
  bool opened = false;
  std::string line;  // the bytes searched, up to the line's end or 259 of them
};

// Learns from the first line of a configuration file which tool it belongs
// to. Returns 0 with `kind` set, or -1 with `kind` untouched. A trace, when
// given, receives whether the file opened and the line as read.
int ProbeConfiguration(const char* path, ToolKind* kind, ProbeTrace* trace = nullptr);
