// The check program's command line: a subcommand, its file, --json.
#pragma once

#include <string>
#include <vector>

// Runs the command given by `arguments` (those after the program's name).
// The report goes to `out` and usage errors to `err`, both in UTF-8.
// Returns the exit code: 0 when the launcher would succeed or nothing is
// wrong, 1 when it would fail or something is wrong, 2 for a usage error.
int RunCheck(const std::vector<std::string>& arguments, std::string* out, std::string* err);
