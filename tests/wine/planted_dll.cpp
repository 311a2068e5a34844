// A DLL planted beside a copy of one of our programs under the name of a
// system DLL (version.dll, shell32.dll). All it does is leave a file named
// after itself with ".loaded" appended, so a test can tell whether the
// program loaded it instead of the system's own. `Nothing` lets rundll32
// load it, to show that the mark is left when it is loaded.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 16] = {};
  DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  lstrcatW(path, L".loaded");
  HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  return TRUE;
}

extern "C" __declspec(dllexport) void CALLBACK Nothing(HWND, HINSTANCE, LPSTR, int) {}
