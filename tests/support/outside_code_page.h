// Registry fixtures with text that the ANSI code page cannot hold, written
// past the platform layer (which can't name them, by design): through the W
// calls on Windows, through the in-memory registry's own controls natively.
// Names and text are given in UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

bool WriteKeyOutsideCodePage(RegistryKey root, const std::string& parent,
                             const std::string& name, uint32_t access = 0);
// Removes a key that WriteKeyOutsideCodePage made (it has no subkeys); true
// when it is gone.
bool DeleteKeyOutsideCodePage(RegistryKey root, const std::string& parent,
                              const std::string& name, uint32_t access = 0);
bool WriteStringOutsideCodePage(RegistryKey root, const std::string& path,
                                const std::string& value_name, const std::string& text,
                                uint32_t access = 0);
