// The "Run this program as an administrator" box of a program's
// Compatibility tab: Windows keeps it as the compatibility layer RUNASADMIN,
// for this user or for all, and then starts the program only with
// administrator rights, as if its manifest asked for them.
#pragma once

#include <string>

// Where the layer is set for the program at `exe_path` (the key, as
// "HKCU\..."), or "" where it is not. Windows keeps it under the name it
// knows the program by, whatever form of its path the program was started by.
std::string RunAsAdministratorLayer(const std::string& exe_path);

// Whether User Account Control is on. Without it (EnableLUA 0) nothing is
// elevated: every program starts with the user's own token, whatever its
// manifest or its layers ask for.
bool UserAccountControlOn();
