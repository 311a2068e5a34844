// Whether the Windows-side tests run under Wine rather than on Windows:
// ntdll exports wine_get_version only there. Where the two are known to
// differ, a test asserts what Windows does when this is false, and what
// Wine does otherwise.
#pragma once

#include <windows.h>

inline bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
