// Stands in for a suite that stops half-way and leaves the package
// installed: installs the kit's package beside it quietly, then exits with 3
// (with 1 when the installation failed). The test of run-tests.cmd puts it in
// place of a suite, and the kit must remove the package again at its end.
#include <windows.h>

#include <string>

int main() {
  char self[MAX_PATH] = {};
  char system[MAX_PATH] = {};
  if (GetModuleFileNameA(nullptr, self, sizeof self) == 0 || GetSystemDirectoryA(system, sizeof system) == 0) {
    return 1;
  }
  std::string folder = self;
  folder.resize(folder.rfind('\\'));
  std::string command = "\"" + std::string(system) + "\\msiexec.exe\" /i \"" + folder +
                        "\\ZandrellLauncher-" ZL_PACKAGE_VERSION ".msi\" /qn";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return 1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD installed = 1;
  GetExitCodeProcess(process.hProcess, &installed);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return installed == 0 ? 3 : 1;
}
