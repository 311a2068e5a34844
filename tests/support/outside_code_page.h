// Registry fixtures with text that the ANSI code page cannot hold, written
// past the platform layer (which can't name them, by design): through the W
// calls on Windows, through the in-memory registry's own controls natively.
// Names and text are given in UTF-8.
#pragma once

#include <cstdint>
#include <filesystem>
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

// Paths between std::filesystem and the narrow (ANSI) calls the programs
// make. MinGW's std::filesystem reads a narrow string as Latin-1 and writes
// one in UTF-8, neither of them the ANSI code page: "C:\\Prüfung" would
// come back as "C:\\PrÃ¼fung". These convert exactly, and AnsiFromPath
// throws where the code page can't hold the path.
std::filesystem::path PathFromAnsi(const std::string& ansi);
std::string AnsiFromPath(const std::filesystem::path& path);
