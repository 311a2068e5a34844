// From the process's command line to the one job the program is to do.
#pragma once

#include <string>

// The job an argument asks for.
typedef int RunMode;
constexpr RunMode kRunNone = 0;
constexpr RunMode kRunRegister = 1;
constexpr RunMode kRunUnregister = 2;
constexpr RunMode kRunOpen = 3;

// The command line less the program's own name and the separators after it;
// never split at blanks. Points into `command_line`.
const char* CommandLineTail(const char* command_line);

// Removes a pair of enclosing double quotes from the tail. Returns 0 with the
// argument, or -1 when nothing usable is left.
int NormaliseArgument(const char* tail, std::string* argument);

// Returns 0 with `mode` 1, 2 or 3, or -1 with `mode` 0.
int ClassifyArgument(const char* argument, RunMode* mode);
