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

bool RemoveTree(RegistryKey root, const std::string& path, uint32_t access) {
  RegistryKey key = nullptr;
  if (OpenRegistryKey(root, path.c_str(), 0, kKeyRead | access, &key) != 0) return true;
  std::vector<std::string> children;
  char name[300];
  for (uint32_t i = 0;; ++i) {
    uint32_t length = sizeof name;
    if (EnumerateSubkey(key, i, name, &length) != 0) break;
    children.push_back(name);
  }
  CloseRegistryKey(key);
  for (const std::string& child : children) RemoveTree(root, path + "\\" + child, access);
  RegistryKey parent = nullptr;
  size_t slash = path.rfind('\\');
  std::string parent_path = slash == std::string::npos ? "" : path.substr(0, slash);
  std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
  if (OpenRegistryKey(root, parent_path.empty() ? nullptr : parent_path.c_str(), 0,
                      kKeyAllAccess | access, &parent) != 0) {
    return false;
  }
  long result = DeleteRegistryKeyInView(parent, leaf.c_str(),
                                        (access & kKeyWow64_64Key) ? kKeyWow64_64Key : kKeyWow64_32Key);
  CloseRegistryKey(parent);
  return result == 0;
}
