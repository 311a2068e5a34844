// Small helpers that make a registry fixture or check a line or two. They go
// through the platform layer, so they work on the in-memory registry and on
// the real one alike.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

// Creates the key (and its parents) in the view `access` selects.
bool WriteKey(RegistryKey root, const std::string& path, uint32_t access = 0);
bool WriteValue(RegistryKey root, const std::string& path, const std::string& name,
                uint32_t type, const std::string& data, uint32_t access = 0);
// A string value stored with its terminator.
bool WriteString(RegistryKey root, const std::string& path, const std::string& name,
                 const std::string& text, uint32_t access = 0);
bool KeyExists(RegistryKey root, const std::string& path, uint32_t access = 0);
// The value's type and bytes as stored; false when it can't be read.
bool ReadValue(RegistryKey root, const std::string& path, const std::string& name,
               uint32_t* type, std::string* data, uint32_t access = 0);
// Removes a key with everything below it; true when it is gone.
bool RemoveTree(RegistryKey root, const std::string& path, uint32_t access = 0);

// The default value of a key under HKCR as stored, marked where its type is
// not REG_SZ, or "<none>"; compare it with WithTerminator("text").
std::string ClassesDefaultValue(const std::string& path);
// A string as the registry stores it: with its terminating zero.
std::string WithTerminator(const std::string& text);

// A host test's file as the shell would name it to the launcher: with
// backslashes, and a full path on drive C: (which the in-memory platform
// maps back to the Linux root), as installation folders must be.
std::string AsWindowsPath(std::string path);
