// Which installation folders the package accepts. The open command it writes
// names the launcher by its full path, and the launcher itself refuses to
// register a path the command cannot hold; a folder that breaks either rule
// would install programs that no double-click reaches. Windows Installer
// conditions can neither measure a string nor look at one character of it,
// so the package asks this code, in a custom action, before it writes
// anything.
//
// Plain code over plain strings, with no C runtime: the custom action DLL
// links nothing but KERNEL32 and msi.dll, and the host tests compile it too.
#pragma once

#include <stddef.h>

// The file the package installs into the folder, which the open command names.
constexpr size_t kLauncherNameLength = 20;  // "ZandrellLauncher.exe"
// The ANSI length of a folder that the code page cannot hold exactly.
constexpr size_t kNoExactAnsiForm = static_cast<size_t>(-1);
// The longest launcher path the open command (`"path" "%1"` in 255
// characters with its terminator) holds; /regserver refuses a longer one.
constexpr size_t kLongestLauncherPath = 247;

enum class FolderVerdict {
  kUsable,
  // Neither on a drive (a letter, a colon and a backslash) nor on a share
  // (\\server\share\): a relative folder would be taken from whatever folder
  // the installer happens to run in, and the open command would name the
  // launcher relative to whatever folder Explorer happens to be in.
  kNotFullyQualified,
  // A character of it has no exact counterpart in the ANSI code page: the
  // launcher converts its whole command line, its own path included, exactly
  // or not at all, and would refuse every file it is asked to open.
  kNotInCodePage,
  // The launcher's path in it would be longer than the open command holds.
  kTooLong,
};

// `folder` as Windows Installer resolved it, with or without its trailing
// backslash; `ansi_length` its length in the ANSI code page, in which the
// launcher measures its own path (a double-byte character counts twice), or
// kNoExactAnsiForm.
FolderVerdict JudgeInstallFolder(const wchar_t* folder, size_t ansi_length);

// The length the launcher's path in `folder` has, measured the same way.
size_t LauncherPathLength(const wchar_t* folder, size_t ansi_length);

// Whether two folders are the same one as a repair sees it: letters A to Z
// in either case, with or without the trailing backslash.
bool SameFolder(const wchar_t* a, const wchar_t* b);
