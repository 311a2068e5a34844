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

int ExpandEnvironmentText(const std::string& text, std::string* expanded) {
  const std::wstring wide = Widen(text, CP_ACP);
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

std::string AnsiToUtf8(const std::string& text) {
  std::wstring wide = Widen(text, CP_ACP);
  return Narrow(wide.data(), static_cast<int>(wide.size()), CP_UTF8);
}

// A console shows characters, whatever its code page; a pipe or a file gets
// UTF-8, which scripts and editors read without being told the code page.
void WriteStandardStream(int stream, const std::string& utf8) {
  HANDLE handle = GetStdHandle(stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || utf8.empty()) return;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    std::wstring wide = Widen(utf8, CP_UTF8);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  DWORD written = 0;
  WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

bool HasSeparate64BitView() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// version.dll is no KnownDLL: imported, it would be taken from our own
// folder first. It is loaded from the system folder when first needed.
std::string ProgramOriginalFilename(const char* path) {
  typedef DWORD(WINAPI * InfoSize)(LPCSTR, LPDWORD);
  typedef BOOL(WINAPI * Info)(LPCSTR, DWORD, DWORD, LPVOID);
  typedef BOOL(WINAPI * Query)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  static HMODULE version = LoadSystemLibrary(L"version.dll");
  auto info_size = SystemFunction<InfoSize>(version, "GetFileVersionInfoSizeA");
  auto info = SystemFunction<Info>(version, "GetFileVersionInfoA");
  auto query = SystemFunction<Query>(version, "VerQueryValueA");
  if (info_size == nullptr || info == nullptr || query == nullptr) return std::string();

  DWORD ignored = 0;
  DWORD size = info_size(path, &ignored);
  if (size == 0) return std::string();
  std::vector<char> block(size);
  if (!info(path, 0, size, block.data())) return std::string();
  struct Translation {
    WORD language;
    WORD code_page;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  if (!query(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
             &length) ||
      length < sizeof(Translation)) {
    return std::string();
  }
  char name_query[64];
  std::snprintf(name_query, sizeof name_query, "\\StringFileInfo\\%04x%04x\\OriginalFilename",
                translations[0].language, translations[0].code_page);
  char* name = nullptr;
  if (!query(block.data(), name_query, reinterpret_cast<void**>(&name), &length) || name == nullptr ||
      length == 0) {
    return std::string();
  }
  // The length counts the terminator; a value without one stops at its end.
  return std::string(name, strnlen(name, length));
}
