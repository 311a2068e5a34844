#include "tests/support/outside_code_page.h"

#include <windows.h>

#include <stdexcept>

#include "platform/win32/exact_ansi.h"

namespace {

std::wstring FromUtf8(const std::string& text) {
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

}  // namespace

bool WriteKeyOutsideCodePage(RegistryKey root, const std::string& parent,
                             const std::string& name, uint32_t access) {
  HKEY key = nullptr;
  std::wstring path = FromUtf8(parent + "\\" + name);
  if (RegCreateKeyExW(reinterpret_cast<HKEY>(root), path.c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS | access, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegCloseKey(key) == ERROR_SUCCESS;
}

bool DeleteKeyOutsideCodePage(RegistryKey root, const std::string& parent,
                              const std::string& name, uint32_t access) {
  LONG result = RegDeleteKeyExW(reinterpret_cast<HKEY>(root), FromUtf8(parent + "\\" + name).c_str(),
                                access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY), 0);
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

bool WriteStringOutsideCodePage(RegistryKey root, const std::string& path,
                                const std::string& value_name, const std::string& text,
                                uint32_t access) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(reinterpret_cast<HKEY>(root), FromUtf8(path).c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS | access, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  std::wstring name = FromUtf8(value_name), data = FromUtf8(text);
  LONG result = RegSetValueExW(key, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(data.c_str()),
                               static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  return RegCloseKey(key) == ERROR_SUCCESS && result == ERROR_SUCCESS;
}

std::filesystem::path PathFromAnsi(const std::string& ansi) {
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], length);
  return std::filesystem::path(wide);
}

std::string AnsiFromPath(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  std::string ansi;
  if (!ConvertToAnsiExactly(wide.c_str(), static_cast<int>(wide.size()), &ansi)) {
    throw std::runtime_error("the ANSI code page cannot hold a path of " + std::to_string(wide.size()) +
                             " characters");
  }
  return ansi;
}
