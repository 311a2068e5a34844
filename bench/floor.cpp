// The floor the launcher is measured against: a GUI program that does nothing
// but start the tool the way the launcher does, with WinExec and the same
// command line. Whatever the launcher takes beyond this is its own cost.
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
  // The launcher loads user32 (through shell32) before it calls WinExec, and
  // WinExec only waits for the started program to become idle when user32 is
  // there; the floor does the same so that both wait for the same thing.
  LoadLibraryA("user32.dll");
  return WinExec(Tail(GetCommandLineA()), SW_SHOWNORMAL) > 31 ? 0 : -1;
}
