// What Windows looks at in a program file before it starts it, beyond the
// "MZ" at its start: the machine its header names, and the execution level
// its embedded manifest asks for. A program for another machine, or one that
// asks for administrator rights the starting process lacks, is refused by
// CreateProcess and WinExec alike; the launcher then exits with -1 and tries
// no other build.
#pragma once

#include <cstdint>
#include <string>

struct ProgramImage {
  bool is_program = false;      // begins with "MZ"
  uint16_t machine = 0;         // from the PE header; 0 where there is none
  std::string execution_level;  // requestedExecutionLevel's level; "" without one
};

// Reads the headers and the embedded manifest of the program at `path`.
// Returns 0, or -1 when the file cannot be read.
int ReadProgramImage(const char* path, ProgramImage* image);

// The level that a manifest's requestedExecutionLevel names, "" when it
// names none.
std::string ManifestExecutionLevel(const std::string& manifest);

// Whether a system whose native machine is `native` runs programs for
// `machine` (natively, under WOW64 or, for x64 on ARM64, by emulation).
bool MachineRuns(uint16_t machine, uint16_t native, bool emulates_x64);

// Whether starting a program that asks for `level` needs rights the starting
// process lacks (CreateProcess then fails with 740, ERROR_ELEVATION_REQUIRED).
bool StartNeedsElevation(const std::string& level, bool elevated, bool administrator);

// "x86", "x64", "ARM64", ... for people.
std::string MachineName(uint16_t machine);
