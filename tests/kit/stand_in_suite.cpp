// Stands in for a suite in the kit's own tests: does what the file beside it
// named as it is, with ".does" for ".exe", says, one step a line (UTF-8):
//   run COMMAND LINE   starts it and waits for it to end; ends with 2 if
//                      it failed
//   try COMMAND LINE   the same, whatever it ends with
//   report FILE        copies FILE as its JUnit report, where
//                      --gtest_output=xml:PATH says
//   stop the run       ends the process that started it (the cmd running
//                      run-tests.cmd), as closing its window does
//   exit N             ends with exit code N
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

namespace {

std::wstring FromUtf8(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
  return wide;
}

int Run(std::wstring command_line) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return 1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

void StopTheParent() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID != GetCurrentProcessId()) continue;
    HANDLE parent = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ParentProcessID);
    if (parent != nullptr) TerminateProcess(parent, 1);
    break;
  }
  ExitProcess(1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring steps_path = self;
  steps_path.replace(steps_path.size() - 4, 4, L".does");
  std::wstring report;
  const std::wstring option = L"--gtest_output=xml:";
  if (argc > 1 && std::wstring(argv[1]).rfind(option, 0) == 0) report = argv[1] + option.size();
  FILE* steps = _wfopen(steps_path.c_str(), L"rb");
  char line[4096];
  while (steps != nullptr && std::fgets(line, sizeof line, steps) != nullptr) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const std::wstring step = FromUtf8(text);
    if (step.rfind(L"run ", 0) == 0 || step.rfind(L"try ", 0) == 0) {
      const int code = Run(step.substr(4));
      if (code != 0 && step[0] == L'r') {
        std::fprintf(stderr, "stand-in: exit code %d from %s\n", code, text.c_str());
        return 2;
      }
    } else if (step.rfind(L"report ", 0) == 0) {
      if (!CopyFileW(step.substr(7).c_str(), report.c_str(), FALSE)) return 3;
    } else if (step == L"stop the run") {
      StopTheParent();
    } else if (step.rfind(L"exit ", 0) == 0) {
      return _wtoi(step.c_str() + 5);
    }
  }
  return 0;
}
