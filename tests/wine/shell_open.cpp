// Opens a file the way Explorer does on a double-click (ShellExecuteEx with
// the "open" verb) and exits with the exit code of the program the shell
// started for it, so that a test or the demo can run it through run_exact and
// wait for everything the association set in motion.
//
// Usage: shell_open.exe "C:\path\to\file.cfg"
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: shell_open FILE\n");
    return 2;
  }
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = argv[1];
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&info) || info.hProcess == nullptr) {
    std::fprintf(stderr, "shell_open: the shell started nothing for %s\n", argv[1]);
    return 3;
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  return static_cast<int>(code);
}
