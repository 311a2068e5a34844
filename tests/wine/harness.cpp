#include "tests/wine/harness.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string TempFolder() {
  char buffer[MAX_PATH + 1] = {};
  GetTempPathA(sizeof buffer, buffer);
  return buffer;
}

// The stub tools append to this file; the launcher and the tools it starts
// inherit the variable from the test process. A log named by whoever started
// us (the demo does) is kept.
std::string StubLogPath() {
  static const std::string path = [] {
    char named[MAX_PATH] = {};
    DWORD length = GetEnvironmentVariableA("ZANDRELL_STUB_LOG", named, sizeof named);
    if (length > 0 && length < sizeof named) return std::string(named);
    std::string log = TempFolder() + "zandrell-stub-starts.log";
    SetEnvironmentVariableA("ZANDRELL_STUB_LOG", log.c_str());
    return log;
  }();
  return path;
}

}  // namespace

std::string BuildFolder() {
  char buffer[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return fs::path(buffer).parent_path().string();
}

std::string LauncherPath() { return BuildFolder() + "\\ZandrellLauncher.exe"; }

int RunExact(const std::string& command_line) {
  StubLogPath();
  std::string writable = command_line;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1000;
  }
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

int StartLauncher(const std::string& tail) {
  return RunExact("\"" + LauncherPath() + "\"" + (tail.empty() ? "" : " " + tail));
}

std::string ScratchFolder(const std::string& name) {
  fs::path folder = fs::path(TempFolder()) / ("zandrell " + name);
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder.string();
}

void WriteBytes(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void InstallStub(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  fs::copy_file(BuildFolder() + "\\stub_tool.exe", path, fs::copy_options::overwrite_existing);
}

std::vector<std::string> StubStarts() {
  std::vector<std::string> starts;
  std::istringstream lines(ReadBytes(StubLogPath()));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    starts.push_back(line);
  }
  return starts;
}

void ClearStubStarts() { DeleteFileA(StubLogPath().c_str()); }
