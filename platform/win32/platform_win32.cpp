// The platform layer on Windows: each function forwards to the Win32 call it
// is named after, nothing more, so the behaviour the logic sees is Windows'.
#include "platform/platform.h"

#include <windows.h>
#include <shlobj.h>

#include <fstream>

namespace {

HKEY ToHkey(RegistryKey key) { return reinterpret_cast<HKEY>(key); }
RegistryKey FromHkey(HKEY key) { return reinterpret_cast<RegistryKey>(key); }

}  // namespace

long OpenRegistryKey(RegistryKey parent, const char* sub_key, uint32_t options,
                     uint32_t access, RegistryKey* key) {
  HKEY opened = nullptr;
  LONG result = RegOpenKeyExA(ToHkey(parent), sub_key, options, access, &opened);
  *key = FromHkey(opened);
  return result;
}

long CreateRegistryKey(RegistryKey parent, const char* sub_key, uint32_t access,
                       RegistryKey* key) {
  HKEY created = nullptr;
  LONG result = RegCreateKeyExA(ToHkey(parent), sub_key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                access, nullptr, &created, nullptr);
  *key = FromHkey(created);
  return result;
}

long QuerySubkeyCount(RegistryKey key, uint32_t* count) {
  DWORD subkeys = 0;
  LONG result = RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  *count = subkeys;
  return result;
}

long EnumerateSubkey(RegistryKey key, uint32_t index, char* name, uint32_t* name_length) {
  DWORD length = *name_length;
  LONG result = RegEnumKeyExA(ToHkey(key), index, name, &length, nullptr, nullptr, nullptr,
                              nullptr);
  *name_length = length;
  return result;
}

long QueryRegistryValue(RegistryKey key, const char* value_name, uint32_t* type,
                        unsigned char* data, uint32_t* size) {
  DWORD value_type = 0;
  DWORD value_size = *size;
  LONG result = RegQueryValueExA(ToHkey(key), value_name, nullptr, &value_type, data, &value_size);
  if (type != nullptr) *type = value_type;
  *size = value_size;
  return result;
}

long SetRegistryValue(RegistryKey key, const char* value_name, uint32_t type,
                      const unsigned char* data, uint32_t size) {
  return RegSetValueExA(ToHkey(key), value_name, 0, type, data, size);
}

long DeleteRegistryKey(RegistryKey parent, const char* sub_key) {
  return RegDeleteKeyA(ToHkey(parent), sub_key);
}

long DeleteRegistryKeyInView(RegistryKey parent, const char* sub_key, uint32_t view) {
  return RegDeleteKeyExA(ToHkey(parent), sub_key, view, 0);
}

long CloseRegistryKey(RegistryKey key) { return RegCloseKey(ToHkey(key)); }

uint32_t GetPathAttributes(const char* path) { return GetFileAttributesA(path); }

// The C++ runtime's file stream in text mode gives exactly the view of the
// file that the probe is written against; the runtime opens it without
// denying other processes read or write access.
int ReadTextFile(const char* path, uint32_t offset, char* buffer, uint32_t capacity,
                 uint32_t* length) {
  *length = 0;
  std::ifstream file(path, std::ios::in);
  if (!file.is_open()) return -1;
  file.seekg(offset, std::ios::beg);
  if (file) {
    file.read(buffer, capacity);
    *length = static_cast<uint32_t>(file.gcount());
  }
  return 0;
}

uint32_t StartProgram(const char* command_line, int show) { return WinExec(command_line, show); }

const char* GetProcessCommandLine() { return GetCommandLineA(); }

bool IsLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

uint32_t GetOwnModulePath(char* buffer, uint32_t size) {
  return GetModuleFileNameA(nullptr, buffer, size);
}

uint16_t GetDefaultUiLanguage() { return GetSystemDefaultUILanguage(); }

// shell32 is loaded here, when associations change, and not imported: an
// import would load it, and user32, gdi32, ole32 and more with it, on every
// double-click. It is loaded by its full path in the system folder, never
// through the DLL search path, where a shell32.dll planted beside a
// downloaded configuration (the current directory) would be found first.
// Without it the registry is still written; the shell then learns of the
// change at its next refresh, so a failure here is no failure of the job.
// The library stays loaded: the process ends right after.
void NotifyAssociationsChanged() {
  wchar_t path[MAX_PATH + 32] = {};
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  lstrcatW(path, L"\\shell32.dll");
  HMODULE shell32 = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (shell32 == nullptr) return;
  typedef void(WINAPI * ChangeNotify)(LONG, UINT, LPCVOID, LPCVOID);
  auto notify = reinterpret_cast<ChangeNotify>(
      reinterpret_cast<void*>(GetProcAddress(shell32, "SHChangeNotify")));
  if (notify != nullptr) notify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}
