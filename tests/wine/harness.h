// Helpers for the tests that run the real program under Wine.
#pragma once

#include <string>
#include <vector>

#include "tests/support/outside_code_page.h"
#include "tests/wine/under_wine.h"

// The folder the test programs, the launcher and the stub tool are built into.
// Paths are handed around in the ANSI code page, as the programs take them;
// std::filesystem gets them through PathFromAnsi and gives them back through
// AnsiFromPath.
std::string BuildFolder();
std::string LauncherPath();

// Starts a program with exactly this command line (nothing re-quoted on the
// way), waits until it and every process it started have ended, and returns
// its exit code as a signed value; -1000 if it can't start, below that if it
// could not be watched to the end.
int RunExact(const std::string& command_line);
// The same, with what the program wrote to its standard output.
int RunCapturing(const std::string& command_line, std::string* output);
int RunCapturingW(const std::wstring& command_line, std::string* output);
// The same with the program's own access token shut to every query, its
// own included (the token's DACL emptied before the program runs), as
// where the system can't tell it whether it is elevated.
int RunCapturingWithTokenShut(const std::string& command_line, std::string* output);
// The same with a UTF-16 command line, the way the shell starts programs;
// `program`, when given, names the program apart from the command line.
int RunExactW(const std::wstring& command_line, const std::wstring& program = std::wstring());
// The same for a program that keeps writing its log at `progress`: ended,
// with -1003, once that file has stood still for `stall_seconds`.
int RunWatchingW(const std::wstring& command_line, const std::string& progress, unsigned stall_seconds);
std::wstring FromUtf8(const std::string& text);
// A path in the ANSI code page, as the harness hands paths around, in UTF-16
// (the kit's folder may hold "ü", which is no UTF-8).
std::wstring FromAnsi(const std::string& text);
std::string ToUtf8(const std::wstring& text);
// A path in the ANSI code page as ZandrellCheck's JSON report names it, in
// UTF-8.
std::string Utf8(const std::string& ansi);
// A program of the system's by its full path in the system folder: through
// the search path, the current folder would be looked in first.
std::string SystemProgram(const char* name);
// Starts the launcher with this command-line tail after its quoted path.
int StartLauncher(const std::string& tail);
// The same as a user whom User Account Control gives no administrator
// rights would start it, although the tests may run elevated (as the test
// kit does on Windows): with a Safer "normal user" token made from ours.
// Wine has no such tokens (and never refuses a program for its rights):
// there it is StartLauncher.
int StartLauncherAsStandardUser(const std::string& tail);

// What ZandrellCheck.exe predicts the launcher does with `file`: the command
// line it would start, or "-1" when it would start nothing.
std::string CheckPrediction(const std::string& file);
// The same for a file named in UTF-16, as the shell names it.
std::string CheckPredictionW(const std::wstring& file);

// Whether the registry keeps HKLM\SOFTWARE apart for 32-bit programs, as
// 64-bit Windows does and 32-bit Windows does not: found out by writing a
// key in one view and looking for it in the other, not by asking the code
// under test.
bool RegistryHasTwoViews();
// The native machine as GetNativeSystemInfo names it: "x86" or "x64".
std::string NativeMachineName();

// A folder of the test's own under the prefix's temporary folder, emptied.
std::string ScratchFolder(const std::string& name);
void WriteBytes(const std::string& path, const std::string& content);
std::string ReadBytes(const std::string& path);

// Copies the stub tool to `path`, creating the folders on the way.
void InstallStub(const std::string& path);

// What the stub tools started since the last clear: for each start, the
// stub's own path, its show state and its command line, tab-separated.
std::vector<std::string> StubStarts();
void ClearStubStarts();
