// `ZandrellCheck which FILE`: what the launcher would do with a file the
// shell hands it, step by step, through the very functions it calls.
#pragma once

#include <cstdint>
#include <string>

#include "app/command_line.h"
#include "config_probe/probe_configuration.h"
#include "discovery/scan_trace.h"

struct OpenExplanation {
  std::string file;
  std::string file_utf8;  // the file as given, where the ANSI code page can't hold its name
  std::string argument;  // the launcher's argument: the shell's quoted "%1", unquoted
  RunMode mode = kRunNone;
  ProbeTrace probe;
  ToolKind kind = 0;
  ScanTrace scan;
  CandidateList candidates;  // in the launcher's order: the newest last
  int chosen = -1;           // index in `candidates`
  std::string command_line;  // what the launcher would hand to WinExec
  uint16_t machine = 0;          // the chosen build's, from its PE header; 0 where unknown
  std::string execution_level;  // what the chosen build's manifest asks for; "" for nothing
  // Where "Run this program as an administrator" is set for the chosen
  // build; "" where it is not.
  std::string run_as_admin_layer;

  std::string error;  // why the launcher would fail; empty when it would not
};

// Returns what the launcher would exit with: 0 or -1.
int ExplainOpen(const std::string& file, OpenExplanation* explanation);

std::string OpenReportText(const OpenExplanation& explanation);
std::string OpenReportJson(const OpenExplanation& explanation);
