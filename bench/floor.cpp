// The floor the launcher is measured against: a GUI program that does nothing
// but start the tool the way the launcher does, with WinExec and the same
// command line. Whatever the launcher takes beyond this is its own cost.
//
// Built a second time with ZANDRELL_FLOOR_LOADS_USER32 (ZandrellFloorUser32.exe)
// it loads user32 first: the two side by side show what loading user32 would
// cost the launcher. With user32 loaded WinExec also waits until the started
// program is idle, or has ended, before it returns.
//
// Usage: ZandrellFloor.exe "C:\...\Morvo64.exe" "C:\...\model.cfg"
// The arguments after the program's name are handed to WinExec unchanged, so
// the command line is byte for byte the one the launcher builds.
#include <windows.h>

namespace {

// The command line less this program's own name (quoted or not).
const char* Tail(const char* p) {
  bool in_quotes = false;
  while (*p != '\0' && (in_quotes || (*p != ' ' && *p != '\t'))) {
    if (*p == '"') in_quotes = !in_quotes;
    ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
#ifdef ZANDRELL_FLOOR_LOADS_USER32
  LoadLibraryA("user32.dll");
#endif
  return WinExec(Tail(GetCommandLineA()), SW_SHOWNORMAL) > 31 ? 0 : -1;
}
