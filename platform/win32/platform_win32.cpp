// The platform layer on Windows: each function forwards to the Win32 call it
// is named after, so the behaviour the logic sees is Windows'. Strings that
// the system hands over come through the W calls and are converted here, so
// that a name the ANSI code page cannot hold is refused instead of replaced by
// a look-alike (platform/win32/exact_ansi.h); apart from that, what the A
// calls would do is done: sizes, terminators, ERROR_MORE_DATA.
#include "platform/platform.h"

#include <windows.h>
#include <shlobj.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/exact_ansi.h"
#include "platform/win32/system_library.h"

namespace {

HKEY ToHkey(RegistryKey key) { return reinterpret_cast<HKEY>(key); }
RegistryKey FromHkey(HKEY key) { return reinterpret_cast<RegistryKey>(key); }

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// An ANSI string of our own (a value name) in UTF-16; such strings always
// convert, as every ANSI character has its Unicode counterpart.
std::wstring Widen(const char* text) {
  if (text == nullptr) return std::wstring();
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

}  // namespace

// The launcher's unit holds the conversion as it always has, so that its
// code is laid out as before; the folder check builds the same file alone.
#include "platform/win32/exact_ansi.cpp"

bool ConvertToAnsiExactly(const wchar_t* text, int count, std::string* out) {
  int needed = ConvertToAnsiExactly(text, count, nullptr, 0);
  if (needed < 0) return false;
  out->assign(static_cast<size_t>(needed), '\0');
  return needed == 0 || ConvertToAnsiExactly(text, count, &(*out)[0], needed) == needed;
}

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

// Reads the name as RegEnumKeyExA would, from the UTF-16 one. A buffer of as
// many UTF-16 units as the caller has bytes (and room for the longest name a
// key can have) holds every name whose ANSI form could fit.
long EnumerateSubkey(RegistryKey key, uint32_t index, char* name, uint32_t* name_length) {
  std::vector<wchar_t> wide(*name_length > 256 ? *name_length : 256);
  DWORD length = static_cast<DWORD>(wide.size());
  LONG result = RegEnumKeyExW(ToHkey(key), index, wide.data(), &length, nullptr, nullptr,
                              nullptr, nullptr);
  if (result != ERROR_SUCCESS) return result;
  int bytes = ConvertToAnsiExactly(wide.data(), static_cast<int>(length), nullptr, 0);
  if (bytes < 0) return kErrorNoUnicodeTranslation;
  if (static_cast<uint32_t>(bytes) >= *name_length) return ERROR_MORE_DATA;
  ConvertToAnsiExactly(wide.data(), static_cast<int>(length), name, bytes);
  name[bytes] = '\0';
  *name_length = static_cast<uint32_t>(bytes);
  return ERROR_SUCCESS;
}

// Reads the value as RegQueryValueExA would, from the UTF-16 one, in one
// registry call where the caller's buffer can hold the value: a string's
// UTF-16 form takes at most twice the bytes of its ANSI form, and the A call
// may add a terminator. Only a string too long for that needs a second call,
// to learn its ANSI size; a value that another program makes longer between
// two calls gets a few more, and then ERROR_MORE_DATA, as every caller gives
// up on it anyway. Other types are handed over as stored.
long QueryRegistryValue(RegistryKey key, const char* value_name, uint32_t* type,
                        unsigned char* data, uint32_t* size) {
  const int kMaxReads = 4;
  const std::wstring name = Widen(value_name);
  const wchar_t* wide_name = value_name == nullptr ? nullptr : name.c_str();
  const DWORD capacity = data != nullptr ? *size : 0;
  std::vector<wchar_t> wide(capacity + 1);
  DWORD value_type = REG_NONE;
  DWORD wide_size = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
  LONG result = RegQueryValueExW(ToHkey(key), wide_name, nullptr, &value_type,
                                 reinterpret_cast<BYTE*>(wide.data()), &wide_size);
  for (int reads = 1; result == ERROR_MORE_DATA && IsStringType(value_type); ++reads) {
    // The string's UTF-16 form is not in the buffer, so it can't be converted.
    if (reads == kMaxReads) return ERROR_MORE_DATA;
    wide.assign(wide_size / sizeof(wchar_t) + 1, L'\0');
    wide_size = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
    result = RegQueryValueExW(ToHkey(key), wide_name, nullptr, &value_type,
                              reinterpret_cast<BYTE*>(wide.data()), &wide_size);
  }
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return result;
  if (type != nullptr) *type = value_type;

  if (!IsStringType(value_type)) {
    *size = wide_size;
    if (data == nullptr) return ERROR_SUCCESS;
    if (result == ERROR_MORE_DATA || wide_size > capacity) return ERROR_MORE_DATA;
    CopyMemory(data, wide.data(), wide_size);
    return ERROR_SUCCESS;
  }

  const int units = static_cast<int>(wide_size / sizeof(wchar_t));
  int bytes = ConvertToAnsiExactly(wide.data(), units, nullptr, 0);
  if (bytes < 0) return kErrorNoUnicodeTranslation;
  *size = static_cast<uint32_t>(bytes);
  if (data == nullptr || bytes == 0) return ERROR_SUCCESS;
  if (static_cast<DWORD>(bytes) > capacity) return ERROR_MORE_DATA;
  ConvertToAnsiExactly(wide.data(), units, reinterpret_cast<char*>(data), bytes);
  // A string stored without its terminator gets one where there is room.
  if (static_cast<DWORD>(bytes) < capacity && data[bytes - 1] != '\0') data[bytes] = '\0';
  return ERROR_SUCCESS;
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

// Converted once: the process asks for its command line once.
const char* GetProcessCommandLine() {
  static std::string command_line;
  static bool exact = [] {
    const wchar_t* wide = GetCommandLineW();
    return ConvertToAnsiExactly(wide, lstrlenW(wide), &command_line);
  }();
  return exact ? command_line.c_str() : nullptr;
}

bool IsLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

// The W call with room for the longest path Windows allows, so that the
// path is whole before it is converted; then cut to the caller's buffer as
// GetModuleFileNameA would.
uint32_t GetOwnModulePath(char* buffer, uint32_t size) {
  std::vector<wchar_t> wide(32768);
  DWORD length = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
  std::string path;
  if (length == 0 || length >= wide.size() || size == 0) return 0;
  if (!ConvertToAnsiExactly(wide.data(), static_cast<int>(length), &path)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  uint32_t copied = path.size() < size ? static_cast<uint32_t>(path.size()) : size - 1;
  CopyMemory(buffer, path.data(), copied);
  buffer[copied] = '\0';
  return path.size() < size ? copied : size;
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
  HMODULE shell32 = LoadSystemLibrary(L"shell32.dll");
  typedef void(WINAPI * ChangeNotify)(LONG, UINT, LPCVOID, LPCVOID);
  auto notify = SystemFunction<ChangeNotify>(shell32, "SHChangeNotify");
  if (notify != nullptr) notify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

void SetQuietErrorMode() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, nullptr); }
