// The thin layer between the launcher's logic and the operating system.
//
// Every Windows call the launcher makes goes through here, under names of our
// own so that the logic never needs windows.h. Two implementations exist and
// are chosen at link time: win32/ forwards to the real API, host/ runs on
// Linux with an in-memory registry for fast unit tests. Constants carry the
// Win32 values so that both sides, and the tests, speak the same numbers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef struct RegistryKeyTag* RegistryKey;

// The predefined roots, with the values Windows gives them.
inline const RegistryKey kClassesRoot = reinterpret_cast<RegistryKey>(uintptr_t{0x80000000u});
inline const RegistryKey kCurrentUser = reinterpret_cast<RegistryKey>(uintptr_t{0x80000001u});
inline const RegistryKey kLocalMachine = reinterpret_cast<RegistryKey>(uintptr_t{0x80000002u});

// Access rights and view selectors.
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyAllAccess = 0xF003F;
constexpr uint32_t kKeyWow64_64Key = 0x0100;
constexpr uint32_t kKeyWow64_32Key = 0x0200;

// Value types.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

// Error codes the logic and the tests look at.
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;
constexpr long kErrorKeyDeleted = 1018;
// A name or string value with a character that the ANSI code page has no
// counterpart for: the layer refuses it rather than hand over a look-alike.
constexpr long kErrorNoUnicodeTranslation = 1113;

constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
constexpr int kShowNormal = 1;

// Every string that the system hands to the logic (the command line, subkey
// names, string values, the program's own path) is in the ANSI code page and
// converts exactly from the system's Unicode form; one that does not is an
// error (kErrorNoUnicodeTranslation, a null command line, a module path of
// length 0), never a best-fit look-alike.

// Registry. Each returns 0 or a Win32 error code, exactly like the A calls.
long OpenRegistryKey(RegistryKey parent, const char* sub_key, uint32_t options,
                     uint32_t access, RegistryKey* key);
long CreateRegistryKey(RegistryKey parent, const char* sub_key, uint32_t access,
                       RegistryKey* key);
long QuerySubkeyCount(RegistryKey key, uint32_t* count);
long EnumerateSubkey(RegistryKey key, uint32_t index, char* name, uint32_t* name_length);
long QueryRegistryValue(RegistryKey key, const char* value_name, uint32_t* type,
                        unsigned char* data, uint32_t* size);
long SetRegistryValue(RegistryKey key, const char* value_name, uint32_t type,
                      const unsigned char* data, uint32_t size);
long DeleteRegistryKey(RegistryKey parent, const char* sub_key);
// The same in the registry view that `view` (kKeyWow64_32Key or kKeyWow64_64Key)
// selects; the launcher never needs it, the tests clean up both views with it.
long DeleteRegistryKeyInView(RegistryKey parent, const char* sub_key, uint32_t view);
long CloseRegistryKey(RegistryKey key);

// File system: the attributes at a path, kInvalidFileAttributes when nothing is there.
uint32_t GetPathAttributes(const char* path);

// Reads a file the way the C runtime's text mode on Windows presents it
// (a carriage return before a line feed dropped, Ctrl-Z ending the data),
// starting at byte `offset`, opened read-only without denying others anything.
// Stores at most `capacity` characters and their count; no terminator is added.
// Returns 0, or -1 when the file cannot be opened.
int ReadTextFile(const char* path, uint32_t offset, char* buffer, uint32_t capacity,
                 uint32_t* length);

// Process start with WinExec's contract: a result above 31 means started.
uint32_t StartProgram(const char* command_line, int show);

// The process's own command line, whole (program name included); null when
// it has no exact form in the ANSI code page.
const char* GetProcessCommandLine();

// Whether a byte begins a double-byte character in the system's ANSI code page.
bool IsLeadByte(unsigned char byte);

// System information. The module path behaves like GetModuleFileNameA (a
// path that does not fit is cut to size - 1 characters and the result is
// `size`), but is 0 for a path with no exact form in the ANSI code page.
uint32_t GetOwnModulePath(char* buffer, uint32_t size);
uint16_t GetDefaultUiLanguage();

// Tells the shell that file associations changed, so Explorer refreshes
// icons and open verbs without a logoff.
void NotifyAssociationsChanged();

// Has Windows report a drive without media, or a file it cannot open, to
// this thread as an error rather than show its box ("There is no disk in the
// drive") in our name: a "Path", a .cfg or a build on a card reader or a
// disconnected share must not bring up a window. Per thread, so that the tool
// we start keeps the error mode it would have had: a process's mode is
// inherited by the processes it starts. Called first thing, before anything
// touches the file system or the registry.
void SetQuietErrorMode();

// For the check program only. The launcher calls none of these; they live in
// a file of their own, so that the launcher's import table stays as it is.

// One of the process's arguments. `text` is its exact form in the ANSI code
// page; an argument that has none is only reported (in UTF-8), never acted on.
struct ProcessArgument {
  ProcessArgument(const std::string& ansi = std::string()) : text(ansi) {}
  ProcessArgument(const char* ansi) : text(ansi) {}
  std::string text;
  bool exact = true;
  std::string utf8;  // for an argument that is not exact: what was given
};
// The process's arguments, split as the C runtime splits them, the program's
// name first; -1 when the command line can't be split at all.
int GetProcessArguments(std::vector<ProcessArgument>* arguments);
// A variable's value that an expansion takes instead of this process's own.
struct EnvironmentOverride {
  std::string name;
  std::string value;
};
// `text` with its environment variables (%NAME%) expanded, as the shell
// expands a REG_EXPAND_SZ open command, the variables named in `overrides`
// taking the values given there; -1 when the result has no exact form in the
// ANSI code page.
int ExpandEnvironmentText(const std::string& text, const std::vector<EnvironmentOverride>& overrides,
                          std::string* expanded);
// The value of one of this process's environment variables; false when it is
// not set or has no exact form in the ANSI code page.
bool ReadEnvironmentVariable(const std::string& name, std::string* value);
// Text in the ANSI code page, in UTF-8.
std::string AnsiToUtf8(const std::string& text);
// Writes UTF-8 text to standard output (1) or standard error (2): to a
// console as its characters, anywhere else as UTF-8.
void WriteStandardStream(int stream, const std::string& utf8);
// Whether the registry has a 64-bit view apart from the 32-bit one, as on
// 64-bit Windows.
bool HasSeparate64BitView();
// The original file name a program's version information gives, or "" when
// it has none (or the file is no program).
std::string ProgramOriginalFilename(const char* path);

// The name Windows knows a program by when it looks up its compatibility
// layers: the full path (slashes read as backslashes, doubled separators,
// "." and ".." taken out), long names for short ones, and no "\\?\" in
// front. -1 when it has no exact form in the ANSI code page.
int ProgramPathAsWindowsKnowsIt(const std::string& path, std::string* known);
// The Windows folder shared by every user ("C:\Windows"); "" where it can't
// be read exactly.
std::string GetWindowsFolder();

// Up to `count` bytes of a file from byte `offset` on, as they are stored
// (fewer where the file ends first); -1 when the file cannot be opened. The
// file is opened for reading without denying others anything.
int ReadFileBytes(const char* path, uint32_t offset, uint32_t count, std::string* bytes);

// Machine types of programs and of the system (IMAGE_FILE_MACHINE_*).
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineArmNt = 0x01C4;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;
// The machine this Windows runs on natively, whatever this 32-bit program
// runs as (x86 under WOW64 on an x64 or ARM64 system).
uint16_t GetNativeMachine();
// Whether this system runs x64 programs by emulation, as ARM64 Windows 11
// does (ARM64 Windows 10 does not).
bool EmulatesX64Programs();
// Whether the programs the shell starts for this user run elevated. Under
// User Account Control an administrator's programs run without the rights
// even when this one was started elevated; without it (or for the built-in
// Administrator) they run with the user's full rights.
bool ShellRunsElevated();
// Whether this user is an administrator, who could run a program elevated.
bool UserIsAdministrator();
