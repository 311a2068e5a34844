// The ".cfg" file association: which keys it consists of, and writing and
// removing them.
#pragma once

#include "platform/platform.h"

constexpr char kExtensionKey[] = ".cfg";
constexpr char kProgId[] = "Zandrell.Launcher.1";

// Writes HKCR\.cfg and the file-type key so that the shell opens
// configuration files through this program. Returns 0 or -1.
int RegisterAssociation();

// Deletes both key trees, whoever added to them. Returns 0 or -1.
int UnregisterAssociation();

// Deletes the key at `path` below `root` with everything under it. `path` is
// a writable buffer of kKeyTreePathSize characters that is extended in place
// while working and holds the original path again on return.
constexpr int kKeyTreePathSize = 256;
int DeleteKeyTree(RegistryKey root, char* path);
