#include "tests/support/outside_code_page.h"

#include "platform/host/host_platform.h"

bool WriteKeyOutsideCodePage(RegistryKey root, const std::string& parent,
                             const std::string& name, uint32_t access) {
  return CreateKeyOutsideCodePage(root, parent, name, access);
}

bool DeleteKeyOutsideCodePage(RegistryKey root, const std::string& parent,
                              const std::string& name, uint32_t access) {
  return RemoveKeyOutsideCodePage(root, parent, name, access);
}

bool WriteStringOutsideCodePage(RegistryKey root, const std::string& path,
                                const std::string& value_name, const std::string& text,
                                uint32_t access) {
  return SetValueOutsideCodePage(root, path, value_name, kRegSz, text, access);
}

// Linux takes a path's bytes as they are.
std::filesystem::path PathFromAnsi(const std::string& ansi) { return std::filesystem::path(ansi); }

std::string AnsiFromPath(const std::filesystem::path& path) { return path.string(); }
