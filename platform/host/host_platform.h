// Controls of the host platform layer, for tests only.
//
// The host layer keeps a registry in memory, records every call made through
// the platform interface, and can make any single call fail with a chosen
// error, so that tests can walk every failure path and prove that every key
// opened was closed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

struct PlatformCall {
  std::string function;  // "OpenRegistryKey", "StartProgram", ...
  std::string argument;  // the path, sub key, value name or command line handed over
  RegistryKey key;       // the handle the call was made on, if any
  long result;           // what the call returned (for void calls, 0)
  RegistryKey opened;    // the handle an open or create handed out, if any
};

struct StartedProgram {
  std::string command_line;
  int show;
};

// Back to a fresh machine: an empty registry, no calls, no faults, no open keys.
void ResetHostPlatform();

// Forgets the calls recorded so far (after a test has set up its registry).
void ClearRecordedCalls();
const std::vector<PlatformCall>& RecordedCalls();

// An error for FailCall that makes the call throw std::bad_alloc instead, as
// an allocation inside it might.
constexpr long kThrowOutOfMemory = -0x7FFF;

// The `occurrence`-th call (1-based, counted from now) of `function` fails
// with `error` and has no effect, and so do the `times` - 1 calls of it that
// follow. For calls without an error result the failure is their own:
// GetOwnModulePath returns 0, GetPathAttributes finds nothing, StartProgram
// returns `error`, ReadTextFile cannot open the file.
void FailCall(const std::string& function, int occurrence, long error, int times = 1);
// The `number`-th platform call of any kind, counted from now, fails the same way.
void FailCallNumber(int number, long error);
// How many injected faults have actually fired.
int FiredFaults();

// Keys opened or created and not yet closed.
int OpenKeyCount();

// `exact` false: the string has a character the ANSI code page lacks, so the
// layer hands out nothing (a null command line, a module path of length 0).
void SetProcessCommandLine(const std::string& command_line, bool exact = true);
void SetLeadBytes(unsigned char first, unsigned char last);  // one range; first > last clears
void SetOwnModulePath(const std::string& path, bool exact = true);
// A subkey `name` of `parent`, and a string value, whose text has a character
// the ANSI code page lacks: the layer can neither name the key nor read the
// name or the string (kErrorNoUnicodeTranslation). `access` selects the view.
bool CreateKeyOutsideCodePage(RegistryKey root, const std::string& parent,
                              const std::string& name, uint32_t access);
bool RemoveKeyOutsideCodePage(RegistryKey root, const std::string& parent,
                              const std::string& name, uint32_t access);
bool SetValueOutsideCodePage(RegistryKey root, const std::string& path, const std::string& name,
                             uint32_t type, const std::string& text, uint32_t access);
void SetDefaultUiLanguage(uint16_t language);
// The process's environment variables, for ExpandEnvironmentText; none at
// first. `exact` false: the value has a character the ANSI code page lacks,
// so it can't be read and no text naming it can be expanded.
void SetEnvironmentText(const std::string& name, const std::string& value, bool exact = true);
const std::string* EnvironmentText(const std::string& name);
void SetStartResult(uint32_t result);
// The system the check program sees: its native machine (x64 unless set),
// whether it emulates x64 programs, whether the shell starts programs
// elevated and whether the user is an administrator (neither unless set).
void SetSystemMachine(uint16_t native_machine, bool emulates_x64 = false);
void SetElevation(bool shell_runs_elevated, bool administrator);
// Whether the registry has a 64-bit view apart from the 32-bit one, as 64-bit
// Windows has (the default) and 32-bit Windows has not.
void SetSeparate64BitView(bool separate);
// The Windows folder; "" (the default) for none. Under WOW64 a 32-bit
// program's <Windows folder>\System32 is SysWOW64 there, and Sysnative is
// System32, as for every file call of the layer.
void SetWindowsFolder(const std::string& folder);

const std::vector<StartedProgram>& StartedPrograms();
int AssociationNotifications();

// The Linux path of a file named as Windows names it: backslashes read as
// slashes, a leading "\\\\?\\" dropped, and a drive ("C:\\tmp\\x") taken for
// the Linux root ("/tmp/x").
std::string HostFilePath(const char* path);
