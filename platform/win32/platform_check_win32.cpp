// The check program's share of the platform layer on Windows: its own
// arguments, console output and the version information of programs. Kept
// apart from the launcher's calls, whose import table must not grow.
#include "platform/platform.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "platform/win32/exact_ansi.h"

namespace {

std::wstring Widen(const std::string& text, UINT code_page) {
  if (text.empty()) return std::wstring();
  int length = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

}  // namespace

// Split in UTF-16 by the shell's own rules, then converted one by one, so
// that a trail byte that reads as a backslash can't be taken for one.
int GetProcessArguments(std::vector<std::string>* arguments) {
  int count = 0;
  wchar_t** split = CommandLineToArgvW(GetCommandLineW(), &count);
  if (split == nullptr) return -1;
  int result = 0;
  for (int i = 0; i < count && result == 0; ++i) {
    std::string argument;
    if (!ConvertToAnsiExactly(split[i], lstrlenW(split[i]), &argument)) result = -1;
    arguments->push_back(argument);
  }
  LocalFree(split);
  return result;
}

std::string AnsiToUtf8(const std::string& text) {
  std::wstring wide = Widen(text, CP_ACP);
  if (wide.empty()) return std::string();
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                   nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], length,
                      nullptr, nullptr);
  return utf8;
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

std::string ProgramOriginalFilename(const char* path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return std::string();
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(path, 0, size, block.data())) return std::string();
  struct Translation {
    WORD language;
    WORD code_page;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translations), &length) ||
      length < sizeof(Translation)) {
    return std::string();
  }
  char query[64];
  std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\OriginalFilename",
                translations[0].language, translations[0].code_page);
  char* name = nullptr;
  if (!VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&name), &length) || name == nullptr) {
    return std::string();
  }
  return std::string(name);
}
