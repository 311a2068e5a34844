// The check program's share of the platform layer on Windows: its own
// arguments, console output and the version information of programs. Kept
// apart from the launcher's calls, whose import table must not grow.
#include "platform/platform.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/win32/exact_ansi.h"
#include "platform/win32/system_library.h"
#include "platform/wow64.h"

namespace {

std::wstring Widen(const std::string& text, UINT code_page) {
  if (text.empty()) return std::wstring();
  int length = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string Narrow(const wchar_t* text, int length, UINT code_page) {
  if (length == 0) return std::string();
  int size = WideCharToMultiByte(code_page, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(code_page, 0, text, length, &narrow[0], size, nullptr, nullptr);
  return narrow;
}

}  // namespace

// Split in UTF-16 by the shell's own rules, then converted one by one, so
// that a trail byte that reads as a backslash can't be taken for one.
// shell32 is loaded from the system folder, not imported: Windows takes a
// KnownDLL's own imports from there, but an emulation that doesn't keep that
// rule would resolve an imported shell32's imports (user32, and version.dll
// after it) from our folder first. Loaded by full path with the altered
// search path, they come from the system folder everywhere.
int GetProcessArguments(std::vector<ProcessArgument>* arguments) {
  typedef LPWSTR*(WINAPI * SplitCommandLine)(LPCWSTR, int*);
  auto split_command_line =
      SystemFunction<SplitCommandLine>(LoadSystemLibrary(L"shell32.dll"), "CommandLineToArgvW");
  if (split_command_line == nullptr) return -1;
  int count = 0;
  wchar_t** split = split_command_line(GetCommandLineW(), &count);
  if (split == nullptr) return -1;
  for (int i = 0; i < count; ++i) {
    ProcessArgument argument;
    const int length = lstrlenW(split[i]);
    if (!ConvertToAnsiExactly(split[i], length, &argument.text)) {
      argument.text.clear();
      argument.exact = false;
      argument.utf8 = Narrow(split[i], length, CP_UTF8);
    }
    arguments->push_back(argument);
  }
  LocalFree(split);
  return 0;
}

namespace {

enum VariableState { kVariableSet, kVariableNotSet, kVariableUnread };

// A variable's value, whether it is set, or that it could not be read.
VariableState ReadVariable(const std::wstring& name, std::wstring* value) {
  std::vector<wchar_t> buffer(256);
  value->clear();
  for (int attempt = 0; attempt < 4; ++attempt) {
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableW(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      const DWORD error = GetLastError();
      return error == ERROR_ENVVAR_NOT_FOUND ? kVariableNotSet : error == ERROR_SUCCESS ? kVariableSet
                                                                                        : kVariableUnread;
    }
    if (length < buffer.size()) {
      value->assign(buffer.data(), length);
      return kVariableSet;
    }
    buffer.assign(length, L'\0');
  }
  return kVariableUnread;
}

// The overrides put into this process's environment, and what each
// variable was before: the destructor puts every one back, whatever ends
// the expansion, a throw included. A variable that could not be read is
// never overridden, since it could not be put back.
class EnvironmentOverrides {
 public:
  // False when a variable could not be read; nothing is changed then.
  bool Apply(const std::vector<EnvironmentOverride>& overrides) {
    for (const EnvironmentOverride& o : overrides) {
      Saved s;
      s.name = Widen(o.name, CP_ACP);
      const std::wstring value = Widen(o.value, CP_ACP);
      s.state = ReadVariable(s.name, &s.value);
      if (s.state == kVariableUnread) return false;
      saved_.push_back(s);
      if (!SetEnvironmentVariableW(s.name.c_str(), value.c_str())) return false;
    }
    return true;
  }
  ~EnvironmentOverrides() {
    for (auto s = saved_.rbegin(); s != saved_.rend(); ++s) {
      SetEnvironmentVariableW(s->name.c_str(), s->state == kVariableSet ? s->value.c_str() : nullptr);
    }
  }

 private:
  struct Saved {
    std::wstring name, value;
    VariableState state = kVariableUnread;
  };
  std::vector<Saved> saved_;
};

int ExpandWide(const std::wstring& wide, std::string* expanded) {
  // The size asked for counts the terminator; a variable may change between
  // the two calls, so ask again (a few times) while it doesn't fit.
  std::vector<wchar_t> buffer(wide.size() + 1 + 256);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD needed = ExpandEnvironmentStringsW(wide.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (needed == 0) return -1;
    if (needed <= buffer.size()) {
      return ConvertToAnsiExactly(buffer.data(), lstrlenW(buffer.data()), expanded) ? 0 : -1;
    }
    buffer.assign(needed, L'\0');
  }
  return -1;
}

}  // namespace

// The overrides are put into this process's own environment for the one
// call and taken out again: the system's own expansion then pairs the %
// signs and treats unknown names exactly as the shell's does. The check
// program runs one thread and starts nothing meanwhile.
int ExpandEnvironmentText(const std::string& text, const std::vector<EnvironmentOverride>& overrides,
                          std::string* expanded) {
  EnvironmentOverrides applied;
  if (!applied.Apply(overrides)) return -1;
  return ExpandWide(Widen(text, CP_ACP), expanded);
}

bool ReadEnvironmentVariable(const std::string& name, std::string* value) {
  std::wstring wide;
  return ReadVariable(Widen(name, CP_ACP), &wide) == kVariableSet &&
         ConvertToAnsiExactly(wide.data(), static_cast<int>(wide.size()), value);
}

std::string AnsiToUtf8(const std::string& text) {
  std::wstring wide = Widen(text, CP_ACP);
  return Narrow(wide.data(), static_cast<int>(wide.size()), CP_UTF8);
}

// A console shows characters, whatever its code page; a pipe or a file gets
// UTF-8, which scripts and editors read without being told the code page.
// Either may take less than it was given (a console takes a long report in
// pieces): the rest is written until all is out or a write fails.
void WriteStandardStream(int stream, const std::string& utf8) {
  HANDLE handle = GetStdHandle(stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || utf8.empty()) return;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    const std::wstring wide = Widen(utf8, CP_UTF8);
    for (size_t done = 0; done < wide.size();) {
      // Pieces of a size every console takes, never split inside a
      // surrogate pair.
      DWORD piece = static_cast<DWORD>(wide.size() - done < 8192 ? wide.size() - done : 8192);
      if (piece > 1 && IS_HIGH_SURROGATE(wide[done + piece - 1])) --piece;
      DWORD written = 0;
      if (!WriteConsoleW(handle, wide.data() + done, piece, &written, nullptr) || written == 0) return;
      done += written;
    }
    return;
  }
  for (size_t done = 0; done < utf8.size();) {
    DWORD written = 0;
    if (!WriteFile(handle, utf8.data() + done, static_cast<DWORD>(utf8.size() - done), &written,
                   nullptr) ||
        written == 0) {
      return;
    }
    done += written;
  }
}

// version.dll is no KnownDLL: imported, it would be taken from our own
// folder first. It is loaded from the system folder when first needed.
std::string ProgramOriginalFilename(const char* path) {
  const VersionFunctions version = LoadVersionFunctions();
  if (!version.loaded()) return std::string();

  DWORD ignored = 0;
  DWORD size = version.info_size(path, &ignored);
  if (size == 0) return std::string();
  std::vector<char> block(size);
  if (!version.info(path, 0, size, block.data())) return std::string();
  struct Translation {
    WORD language;
    WORD code_page;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  if (!version.query(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
             &length) ||
      length < sizeof(Translation)) {
    return std::string();
  }
  char name_query[64];
  std::snprintf(name_query, sizeof name_query, "\\StringFileInfo\\%04x%04x\\OriginalFilename",
                translations[0].language, translations[0].code_page);
  char* name = nullptr;
  if (!version.query(block.data(), name_query, reinterpret_cast<void**>(&name), &length) || name == nullptr ||
      length == 0) {
    return std::string();
  }
  // The length counts the terminator; a value without one stops at its end.
  return std::string(name, strnlen(name, length));
}

// Read through a handle that denies others nothing, so that a program that
// is running, or being updated, can still be looked at.
int ReadFileBytes(const char* path, uint32_t offset, uint32_t count, std::string* bytes) {
  bytes->clear();
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  LARGE_INTEGER at = {};
  at.QuadPart = offset;
  if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
    bytes->resize(count);
    DWORD total = 0;
    while (total < count) {
      DWORD read = 0;
      if (!ReadFile(file, &(*bytes)[total], count - total, &read, nullptr) || read == 0) break;
      total += read;
    }
    bytes->resize(total);
  }
  CloseHandle(file);
  return 0;
}

namespace {

// A path call's answer: the call asks for the size it needs where the buffer
// is too small, so it is asked again (a few times) while it doesn't fit.
template <typename Call>
bool AskForPath(Call call, std::wstring* path) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return false;
    if (length < buffer.size()) {
      path->assign(buffer.data(), length);
      return true;
    }
    buffer.assign(length + 1, L'\0');
  }
  return false;
}

}  // namespace

// Windows names a started program by the path of its image in DOS form:
// "\\?\" taken away, then GetFullPathName's full path and GetLongPathName's
// long names, which a program that is not there keeps as they are.
int ProgramPathAsWindowsKnowsIt(const std::string& path, std::string* known) {
  std::wstring wide = Widen(path, CP_ACP);
  if (wide.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    wide.erase(2, 6);
  } else if (wide.compare(0, 4, L"\\\\?\\") == 0) {
    wide.erase(0, 4);
  }
  std::wstring full, long_form;
  if (!AskForPath([&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(wide.c_str(), size, buffer, nullptr); },
                  &full)) {
    return -1;
  }
  if (AskForPath([&](wchar_t* buffer, DWORD size) { return GetLongPathNameW(full.c_str(), buffer, size); },
                 &long_form)) {
    full = long_form;
  }
  return ConvertToAnsiExactly(full.data(), static_cast<int>(full.size()), known) ? 0 : -1;
}

std::string GetWindowsFolder() {
  std::wstring folder;
  std::string ansi;
  if (!AskForPath([](wchar_t* buffer, DWORD size) { return GetSystemWindowsDirectoryW(buffer, size); }, &folder) ||
      !ConvertToAnsiExactly(folder.data(), static_cast<int>(folder.size()), &ansi)) {
    return std::string();
  }
  return ansi;
}

namespace {

// IsWow64Process2 names the native machine even where x86 programs run
// emulated on ARM64, whose IsWow64Process says FALSE to them and whose
// GetNativeSystemInfo reports x86. It came with Windows 10, version 1709, so
// it is looked up, not imported; before it, only x64 and Itanium Windows ran
// x86 programs under WOW64, and GetNativeSystemInfo tells them apart.
Wow64Answers AskWow64() {
  Wow64Answers answers;
  typedef BOOL(WINAPI * Wow64Process2)(HANDLE, USHORT*, USHORT*);
  auto is_wow64_process2 =
      SystemFunction<Wow64Process2>(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2");
  USHORT process = 0, native = 0;
  if (is_wow64_process2 != nullptr && is_wow64_process2(GetCurrentProcess(), &process, &native)) {
    answers.has_wow64_process2 = true;
    answers.process_machine = process;
    answers.native_machine = native;
    return answers;
  }
  BOOL wow64 = FALSE;
  answers.is_wow64 = IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
  SYSTEM_INFO info = {};
  GetNativeSystemInfo(&info);
  answers.native_processor = info.wProcessorArchitecture;
  return answers;
}

}  // namespace

bool HasSeparate64BitView() { return RunsUnderWow64(AskWow64()); }

uint16_t GetNativeMachine() { return NativeMachine(AskWow64()); }

// GetMachineTypeAttributes came with Windows 11, as did the x64 emulation
// on ARM64; where it is missing, nothing emulates x64.
bool EmulatesX64Programs() {
  typedef HRESULT(WINAPI * MachineAttributes)(USHORT, int*);
  auto attributes =
      SystemFunction<MachineAttributes>(GetModuleHandleW(L"kernel32.dll"), "GetMachineTypeAttributes");
  X64Answers answers;
  answers.has_machine_type_attributes = attributes != nullptr;
  answers.succeeded = attributes != nullptr && SUCCEEDED(attributes(kMachineAmd64, &answers.attributes));
  return EmulatesX64(answers);
}

namespace {

// This process's token: whether it is split by User Account Control (an
// administrator's limited and full halves) and whether it is elevated.
// False where the system does not know these (before User Account Control).
bool OwnElevation(TOKEN_ELEVATION_TYPE* type, bool* elevated) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  const bool known = GetTokenInformation(token, TokenElevationType, type, sizeof *type, &size) &&
                     GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  *elevated = elevation.TokenIsElevated != 0;
  return known;
}

}  // namespace

// With a split token the shell holds the limited half, even when this
// program was started elevated from an administrator's prompt; without one
// (User Account Control off, the built-in Administrator, a standard user)
// the shell has the rights this program has. Without User Account Control
// at all, nothing asks for elevation.
bool ShellRunsElevated() {
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  bool elevated = false;
  if (!OwnElevation(&type, &elevated)) return true;
  return type == TokenElevationTypeDefault && elevated;
}

bool UserIsAdministrator() {
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  bool elevated = false;
  if (OwnElevation(&type, &elevated) && type != TokenElevationTypeDefault) return true;
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                0, 0, 0, 0, 0, &administrators)) {
    return false;
  }
  BOOL member = FALSE;
  const bool known = CheckTokenMembership(nullptr, administrators, &member) != FALSE;
  FreeSid(administrators);
  return known && member;
}
