// Loading a DLL that is not one of the KnownDLLs. Windows takes those (such
// as version.dll or a shell32 outside the KnownDLLs list of some editions)
// from the program's own folder first when they are imported or loaded by
// name, so a copy of one planted beside our program, in Downloads say, would
// run with our rights. Taken by its full path in the system folder, the
// planted copy is never looked at.
#pragma once

#include <windows.h>

// The DLL `name` from the system folder, or null when it cannot be loaded.
inline HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t path[MAX_PATH + 32] = {};
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || lstrlenW(name) > 30) return nullptr;
  lstrcatW(path, L"\\");
  lstrcatW(path, name);
  // The altered search path makes the DLL's own imports resolve from its
  // folder, the system folder, too.
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// A function of that DLL, as the type `Function`.
template <typename Function>
Function SystemFunction(HMODULE library, const char* name) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// version.dll's calls that read a program's version block.
struct VersionFunctions {
  DWORD(WINAPI* info_size)(LPCSTR, LPDWORD);
  BOOL(WINAPI* info)(LPCSTR, DWORD, DWORD, LPVOID);
  BOOL(WINAPI* query)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  bool loaded() const { return info_size != nullptr && info != nullptr && query != nullptr; }
};

inline VersionFunctions LoadVersionFunctions() {
  static HMODULE version = LoadSystemLibrary(L"version.dll");
  VersionFunctions functions = {};
  functions.info_size = SystemFunction<decltype(functions.info_size)>(version, "GetFileVersionInfoSizeA");
  functions.info = SystemFunction<decltype(functions.info)>(version, "GetFileVersionInfoA");
  functions.query = SystemFunction<decltype(functions.query)>(version, "VerQueryValueA");
  return functions;
}
