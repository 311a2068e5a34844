#include "tests/support/registry_helpers.h"

#include <vector>

bool WriteKey(RegistryKey root, const std::string& path, uint32_t access) {
  RegistryKey key = nullptr;
  if (CreateRegistryKey(root, path.c_str(), kKeyAllAccess | access, &key) != 0) return false;
  return CloseRegistryKey(key) == 0;
}

bool WriteValue(RegistryKey root, const std::string& path, const std::string& name,
                uint32_t type, const std::string& data, uint32_t access) {
  RegistryKey key = nullptr;
  if (CreateRegistryKey(root, path.c_str(), kKeyAllAccess | access, &key) != 0) return false;
  long result = SetRegistryValue(key, name.empty() ? nullptr : name.c_str(), type,
                                 reinterpret_cast<const unsigned char*>(data.data()),
                                 static_cast<uint32_t>(data.size()));
  return (CloseRegistryKey(key) == 0) && result == 0;
}

bool WriteString(RegistryKey root, const std::string& path, const std::string& name,
                 const std::string& text, uint32_t access) {
  return WriteValue(root, path, name, kRegSz, std::string(text.c_str(), text.size() + 1), access);
}

std::string ClassesDefaultValue(const std::string& path) {
  uint32_t type = 0;
  std::string data;
  if (!ReadValue(kClassesRoot, path, "", &type, &data)) return "<none>";
  return (type == kRegSz ? "" : "<type " + std::to_string(type) + ">") + data;
}

std::string WithTerminator(const std::string& text) { return text + std::string(1, '\0'); }

std::string AsWindowsPath(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return !path.empty() && path[0] == '\\' ? "C:" + path : path;
}

bool KeyExists(RegistryKey root, const std::string& path, uint32_t access) {
  RegistryKey key = nullptr;
  if (OpenRegistryKey(root, path.c_str(), 0, kKeyRead | access, &key) != 0) return false;
  CloseRegistryKey(key);
  return true;
}

bool ReadValue(RegistryKey root, const std::string& path, const std::string& name,
               uint32_t* type, std::string* data, uint32_t access) {
  RegistryKey key = nullptr;
  if (OpenRegistryKey(root, path.c_str(), 0, kKeyRead | access, &key) != 0) return false;
  std::vector<unsigned char> buffer(70000);
  uint32_t size = static_cast<uint32_t>(buffer.size());
  long result = QueryRegistryValue(key, name.empty() ? nullptr : name.c_str(), type,
                                   buffer.data(), &size);
  CloseRegistryKey(key);
  if (result != 0) return false;
  data->assign(reinterpret_cast<const char*>(buffer.data()), size);
  return true;
}

namespace {

// Deletes the subkey `name` of `parent` with everything below it, working
// through handles: Wine refuses key paths much longer than MAX_PATH.
bool RemoveSubtree(RegistryKey parent, const std::string& name, uint32_t access) {
  RegistryKey key = nullptr;
  long opened = OpenRegistryKey(parent, name.c_str(), 0, kKeyAllAccess | access, &key);
  if (opened == kErrorFileNotFound) return true;
  if (opened != 0) return false;
  std::vector<std::string> children;
  char child[300];
  for (uint32_t i = 0;; ++i) {
    uint32_t length = sizeof child;
    if (EnumerateSubkey(key, i, child, &length) != 0) break;
    children.push_back(child);
  }
  bool removed = true;
  for (const std::string& c : children) removed = RemoveSubtree(key, c, access) && removed;
  CloseRegistryKey(key);
  uint32_t view = access & (kKeyWow64_32Key | kKeyWow64_64Key);
  long result = view ? DeleteRegistryKeyInView(parent, name.c_str(), view)
                     : DeleteRegistryKey(parent, name.c_str());
  return removed && result == 0;
}

}  // namespace

bool RemoveTree(RegistryKey root, const std::string& path, uint32_t access) {
  size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return RemoveSubtree(root, path, access);
  RegistryKey parent = nullptr;
  long opened = OpenRegistryKey(root, path.substr(0, slash).c_str(), 0, kKeyAllAccess | access, &parent);
  if (opened == kErrorFileNotFound) return true;
  if (opened != 0) return false;
  bool removed = RemoveSubtree(parent, path.substr(slash + 1), access);
  CloseRegistryKey(parent);
  return removed;
}
