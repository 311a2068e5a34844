// The ".cfg" file association: which keys it consists of, and writing and
// removing them.
#pragma once

#include "platform/platform.h"

constexpr char kExtensionKey[] = ".cfg";
constexpr char kProgId[] = "Zandrell.Launcher.1";

// The association is the machine's: both jobs work below
// HKLM\Software\Classes, never through HKEY_CLASSES_ROOT. HKCR is a merged
// view in which a key that exists under the user's own
// HKCU\Software\Classes hides the machine's: written through it, the
// values of such a key would land in that one user's classes (and the
// registration report success while every other user gets nothing); a
// removal would delete the user's key and leave the machine's. The key is
// shared between the 32-bit and the 64-bit view, as HKCR is.
// Returns what RegOpenKeyExA returns.
constexpr char kMachineClasses[] = "Software\\Classes";
inline long OpenMachineClasses(uint32_t access, RegistryKey* root) {
  return OpenRegistryKey(kLocalMachine, kMachineClasses, 0, access, root);
}

// Writes HKLM\Software\Classes\.cfg and the file-type key so that the shell
// opens configuration files through this program. Returns 0 or -1.
int RegisterAssociation();

// Deletes both key trees below HKLM\Software\Classes, whoever added to them.
// Returns 0 or -1.
int UnregisterAssociation();

// Deletes the key at `path` below `root` with everything under it. `path` is
// a writable buffer of kKeyTreePathSize characters that is extended in place
// while working and holds the original path again on return.
// Every key is addressed by its full path from `root`.
constexpr int kKeyTreePathSize = 256;
int DeleteKeyTree(RegistryKey root, char* path);
