#pragma once

// Runs the one job that the command line asks for and returns the process's
// exit code: 0 for success, -1 for any failure (a null command line too).
int RunLauncher(const char* command_line);

// Opens a configuration file with the newest suitable installed tool.
int OpenConfigurationFile(const char* path);
