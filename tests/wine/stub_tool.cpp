// Stands in for Morvo and Tessaline in the tests: records its own path, the
// show state, the command line it was started with and the moment it got
// control (QueryPerformanceCounter, which all processes share), then exits at
// once. The tests wait for it through a job object; nothing waits for it to
// become idle.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  LARGE_INTEGER entered = {};
  QueryPerformanceCounter(&entered);
  char log[MAX_PATH] = {};
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, sizeof self);
  DWORD length = GetEnvironmentVariableA("ZANDRELL_STUB_LOG", log, sizeof log);
  std::string log_path = length > 0 && length < sizeof log ? log : std::string(self) + ".log";

  STARTUPINFOA startup = {};
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;

  std::string line = std::string(self) + "\t" + std::to_string(show) + "\t" + GetCommandLineA() +
                     "\t" + std::to_string(entered.QuadPart) + "\r\n";
  HANDLE file = CreateFileA(log_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
