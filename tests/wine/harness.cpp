#include "tests/wine/harness.h"

#include <windows.h>
#include <aclapi.h>
#include <winsafer.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "tests/support/outside_code_page.h"

namespace fs = std::filesystem;

namespace {

std::string TempFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, buffer);
  return AnsiFromPath(buffer);
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

std::wstring FromAnsi(const std::string& text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
  wide.pop_back();
  return wide;
}

// Taken in UTF-16 and converted exactly: the A call would hand over a
// look-alike for a letter the code page lacks, and in a double-byte code
// page a backslash may be the second byte of a letter.
std::string BuildFolder() {
  static const std::string folder = [] {
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return AnsiFromPath(fs::path(buffer).parent_path());
  }();
  return folder;
}

std::string LauncherPath() { return BuildFolder() + "\\ZandrellLauncher.exe"; }

namespace {

// The time a file was last written and its size, folded into one number
// that changes when either does; 0 while there is no such file.
ULONGLONG FileStamp(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (path.empty() || !GetFileAttributesExW(FromAnsi(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime) ^
         data.nFileSizeLow;
}

// Lets a process that was started suspended run inside a job of its own, and
// waits until it and every process it started have ended: the launcher hands
// the tool to WinExec and exits at once, so its own exit says nothing about
// whether the tool has written its log yet. Returns the exit code as a signed
// value; -1001 when the job could not be set up, -1002 on a time-out. The
// time-out only keeps a hung program from holding the suite for good: an
// installation by msiexec takes well over a minute on a busy machine whose
// 32-bit programs are emulated, so it is ten minutes.
//
// With `progress` named, a run whose file there has not changed in size or
// time for `stall_ms` is ended as stalled (-1003): a program that writes
// its log as it goes and has stopped writing is waiting for something
// that will not come.
int RunToTheEnd(const PROCESS_INFORMATION& process, const std::string& progress = std::string(),
                DWORD stall_ms = 0) {
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  bool joined = job != nullptr &&
                SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                        sizeof limits) &&
                AssignProcessToJobObject(job, process.hProcess);
  int result = -1001;
  if (joined) {
    ResumeThread(process.hThread);
    const ULONGLONG deadline = GetTickCount64() + 10 * 60 * 1000;
    ULONGLONG stamp = FileStamp(progress), changed = GetTickCount64();
    result = -1002;
    for (;;) {
      JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
      if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                     sizeof accounting, nullptr)) {
        result = -1001;
        break;
      }
      if (accounting.ActiveProcesses == 0) {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result = static_cast<int>(code);
        break;
      }
      if (GetTickCount64() > deadline) break;
      if (!progress.empty()) {
        const ULONGLONG now = FileStamp(progress);
        if (now != stamp) {
          stamp = now;
          changed = GetTickCount64();
        }
        if (GetTickCount64() - changed > stall_ms) {
          result = -1003;
          break;
        }
      }
      Sleep(5);
    }
  }
  if (!joined) TerminateProcess(process.hProcess, 1);
  if (job != nullptr) CloseHandle(job);  // ends whatever is left of a run that timed out
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

}  // namespace

int RunExact(const std::string& command_line) {
  StubLogPath();
  std::string writable = command_line;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &writable[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      nullptr, &startup, &process)) {
    return -1000;
  }
  return RunToTheEnd(process);
}

int RunCapturing(const std::string& command_line, std::string* output) {
  return RunCapturingW(FromAnsi(command_line), output);
}

namespace {

// An empty DACL grants nothing: the token's owner may still change it, but
// no one, the process itself included, may open it to query it.
bool ShutToken(HANDLE process) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, WRITE_DAC, &token)) return false;
  ACL empty;
  const bool shut = InitializeAcl(&empty, sizeof empty, ACL_REVISION) &&
                    SetSecurityInfo(token, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    &empty, nullptr) == ERROR_SUCCESS;
  CloseHandle(token);
  return shut;
}

int Capture(const std::wstring& command_line, std::string* output, bool shut_token) {
  StubLogPath();
  const std::string file = TempFolder() + "zandrell-captured-output.txt";
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE out = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return -1000;
  std::wstring writable = command_line;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessW(nullptr, &writable[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                                nullptr, nullptr, &startup, &process);
  CloseHandle(out);
  int result = -1000;
  if (started && shut_token && !ShutToken(process.hProcess)) {
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result = -1003;
  } else if (started) {
    result = RunToTheEnd(process);
  }
  *output = ReadBytes(file);
  DeleteFileA(file.c_str());
  return result;
}

}  // namespace

int RunCapturingW(const std::wstring& command_line, std::string* output) {
  return Capture(command_line, output, false);
}

int RunCapturingWithTokenShut(const std::string& command_line, std::string* output) {
  return Capture(FromAnsi(command_line), output, true);
}

namespace {

// The report is in UTF-8; the launcher's command line, as the stub tool
// records it, in the ANSI code page.
std::string Prediction(int result, const std::string& output) {
  nlohmann::json report = nlohmann::json::parse(output, nullptr, false);
  if (report.is_discarded()) return "unreadable report (exit code " + std::to_string(result) + ")";
  if (result == 1 && report["exit_code"] == -1) return "-1";
  if (result != 0 || !report["command_line"].is_string()) {
    return "exit code " + std::to_string(result) + " with " + report.dump();
  }
  std::wstring wide = FromUtf8(report["command_line"]);
  int length = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &ansi[0], length, nullptr, nullptr);
  ansi.pop_back();
  return ansi;
}

}  // namespace

std::string CheckPrediction(const std::string& file) {
  std::string output;
  int result = RunCapturing("\"" + BuildFolder() + "\\ZandrellCheck.exe\" which \"" + file + "\" --json",
                            &output);
  return Prediction(result, output);
}

// A name the ANSI code page can't hold is refused by the check program as
// by the launcher: exit code 1, and a report that says the launcher fails.
std::string CheckPredictionW(const std::wstring& file) {
  std::string output;
  int result = RunCapturingW(L"\"" + FromAnsi(BuildFolder()) + L"\\ZandrellCheck.exe\" which \"" +
                                 file + L"\" --json",
                             &output);
  return Prediction(result, output);
}

namespace {

int RunWideToTheEnd(const std::wstring& command_line, const std::wstring& program, const std::string& progress,
                    DWORD stall_ms) {
  StubLogPath();
  std::wstring writable = command_line;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.empty() ? nullptr : program.c_str(), &writable[0], nullptr, nullptr,
                      FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup, &process)) {
    return -1000;
  }
  return RunToTheEnd(process, progress, stall_ms);
}

}  // namespace

int RunExactW(const std::wstring& command_line, const std::wstring& program) {
  return RunWideToTheEnd(command_line, program, std::string(), 0);
}

int RunWatchingW(const std::wstring& command_line, const std::string& progress, unsigned stall_seconds) {
  return RunWideToTheEnd(command_line, std::wstring(), progress, stall_seconds * 1000);
}

std::wstring FromUtf8(const std::string& text) {
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string ToUtf8(const std::wstring& text) {
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], length, nullptr,
                      nullptr);
  return utf8;
}

std::string Utf8(const std::string& ansi) { return ToUtf8(FromAnsi(ansi)); }

std::string SystemProgram(const char* name) {
  char folder[MAX_PATH] = {};
  GetSystemDirectoryA(folder, sizeof folder);
  return std::string(folder) + "\\" + name;
}

int StartLauncher(const std::string& tail) {
  return RunExact("\"" + LauncherPath() + "\"" + (tail.empty() ? "" : " " + tail));
}

int StartLauncherAsStandardUser(const std::string& tail) {
  if (RunningUnderWine()) return StartLauncher(tail);
  StubLogPath();
  SAFER_LEVEL_HANDLE level = nullptr;
  HANDLE token = nullptr;
  if (!SaferCreateLevel(SAFER_SCOPEID_USER, SAFER_LEVELID_NORMALUSER, SAFER_LEVEL_OPEN, &level, nullptr)) {
    return -1003;
  }
  const BOOL computed = SaferComputeTokenFromLevel(level, nullptr, &token, 0, nullptr);
  SaferCloseLevel(level);
  if (!computed) return -1003;
  std::string writable = "\"" + LauncherPath() + "\"" + (tail.empty() ? "" : " " + tail);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessAsUserA(token, nullptr, &writable[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                            nullptr, nullptr, &startup, &process);
  CloseHandle(token);
  return started ? RunToTheEnd(process) : -1000;
}

std::string ScratchFolder(const std::string& name) {
  fs::path folder = PathFromAnsi(TempFolder() + "zandrell " + name);
  fs::remove_all(folder);
  fs::create_directories(folder);
  return AnsiFromPath(folder);
}

void WriteBytes(const std::string& path, const std::string& content) {
  fs::create_directories(PathFromAnsi(path).parent_path());
  std::ofstream(PathFromAnsi(path), std::ios::binary) << content;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream file(PathFromAnsi(path), std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// CopyFileA rather than std::filesystem::copy_file: MinGW's runtime has no
// file numbers, so copy_file takes any two files of one drive for the same
// file and refuses to overwrite a stub once the tests run from drive C: too.
void InstallStub(const std::string& path) {
  fs::create_directories(PathFromAnsi(path).parent_path());
  const std::string stub = BuildFolder() + "\\stub_tool.exe";
  if (!CopyFileA(stub.c_str(), path.c_str(), FALSE)) {
    throw std::runtime_error("cannot copy " + stub + " to " + path + ": error " +
                             std::to_string(GetLastError()));
  }
}

std::vector<std::string> StubStarts() {
  std::vector<std::string> starts;
  std::istringstream lines(ReadBytes(StubLogPath()));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    starts.push_back(line.substr(0, line.rfind('\t')));  // less the moment of the start
  }
  return starts;
}

void ClearStubStarts() { DeleteFileA(StubLogPath().c_str()); }

bool RegistryHasTwoViews() {
  static const bool two = [] {
    const char probe[] = "SOFTWARE\\ZandrellViewProbe";
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, probe, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
      return true;
    }
    RegCloseKey(key);
    const bool seen = RegOpenKeyExA(HKEY_LOCAL_MACHINE, probe, 0, KEY_READ | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS;
    if (seen) RegCloseKey(key);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, probe, KEY_WOW64_64KEY, 0);
    return !seen;
  }();
  return two;
}

std::string NativeMachineName() {
  SYSTEM_INFO info = {};
  GetNativeSystemInfo(&info);
  switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64: return "x64";
    case PROCESSOR_ARCHITECTURE_ARM64: return "ARM64";
    default: return "x86";
  }
}
