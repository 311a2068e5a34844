// The check program's command line: a subcommand, its file, --json.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// Runs the command given by `arguments` (those after the program's name).
// The report goes to `out` and usage errors to `err`, both in UTF-8. With
// --json, every run past the usage check writes exactly one JSON object to
// `out`, an error (a FILE the launcher could not take, anything unforeseen)
// included. Returns the exit code: 0 when the launcher would succeed or
// nothing is wrong, 1 when it would fail or something is wrong (or the check
// itself failed), 2 for a usage error.
int RunCheck(const std::vector<ProcessArgument>& arguments, std::string* out, std::string* err);

// The whole program: sets the error mode that keeps Windows' own boxes away,
// takes the process's arguments and runs them. Returns the exit code.
int RunCheckProgram(std::string* out, std::string* err);
