// Times programs that start the stub tool, from inside the Wine prefix, by
// what a person feels: from just before CreateProcess of the program to the
// moment the tool got control (the stub tool writes its QueryPerformanceCounter
// value at entry into its log; the counter is the same in every process), and,
// as a second figure, to the program's own exit. Timing in the prefix leaves
// out what the `wine` command itself costs to start.
//
// Reads "label<TAB>program's command line<TAB>tool's expected command line"
// lines from standard input; the first program is the floor, the second the
// reference, and every program's figures are also given as the median of its
// per-round ratios to those two. The argument is the number of rounds. Rounds
// run the programs forward and reversed in turn (A B, B A, ...), so that no
// program always goes first or last and a slow phase of a shared machine hits
// all of them alike.
//
// Each run waits, through a job object, for the program and every process it
// started, so that no run overlaps the next; it checks that the program
// exited with 0 and that the tool logged exactly one start, with the expected
// command line, at a moment within the run. The log is named by
// ZANDRELL_STUB_LOG, which the programs and the tool inherit.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Program {
  std::string label;
  std::string command_line;
  std::string tool_command_line;
  std::vector<double> to_tool_start;  // seconds
  std::vector<double> to_exit;        // seconds
};

struct Run {
  double to_tool_start;
  double to_exit;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  if (n == 0) return 0;
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Waits until the job holds no process any more: the program and whatever it
// started have all ended. 0, or -1 on a failure or after a minute.
int WaitForEmptyJob(HANDLE job) {
  const ULONGLONG deadline = GetTickCount64() + 60000;
  for (;;) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                   sizeof accounting, nullptr)) {
      return -1;
    }
    if (accounting.ActiveProcesses == 0) return 0;
    if (GetTickCount64() > deadline) return -1;
    Sleep(1);
  }
}

// The lines the tool appended to its log since `offset`, which moves past them.
std::vector<std::string> NewLogLines(const std::string& log_path, std::streamoff& offset) {
  std::vector<std::string> lines;
  std::ifstream log(log_path, std::ios::binary);
  if (!log) return lines;
  log.seekg(offset);
  for (std::string line; std::getline(log, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  log.clear();
  log.seekg(0, std::ios::end);
  offset = log.tellg();
  return lines;
}

// Runs one program to the end of everything it started and reads back when
// the tool started. 0, or -1 with the reason in `error`.
int TimeOne(const Program& program, const std::string& log_path, std::streamoff& log_offset,
            LARGE_INTEGER frequency, Run& run, std::string& error) {
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job == nullptr || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                                 sizeof limits)) {
    error = "no job object";
    if (job != nullptr) CloseHandle(job);
    return -1;
  }
  std::string writable = program.command_line;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER begin = {}, exited = {}, all_ended = {};
  QueryPerformanceCounter(&begin);
  // Suspended until it is in the job, so that nothing it starts escapes it.
  if (!CreateProcessA(nullptr, &writable[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      nullptr, &startup, &process)) {
    error = "not started";
    CloseHandle(job);
    return -1;
  }
  int result = -1;
  DWORD code = 1;
  if (!AssignProcessToJobObject(job, process.hProcess)) {
    TerminateProcess(process.hProcess, 1);
    error = "not put into the job";
  } else {
    ResumeThread(process.hThread);
    bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    QueryPerformanceCounter(&exited);
    if (!ended || WaitForEmptyJob(job) != 0) {
      error = "did not end within a minute";
    } else {
      QueryPerformanceCounter(&all_ended);
      GetExitCodeProcess(process.hProcess, &code);
      result = 0;
    }
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(job);  // ends whatever is left of a run that failed
  if (result != 0) return -1;
  if (code != 0) {
    error = "exit code " + std::to_string(static_cast<int>(code));
    return -1;
  }

  std::vector<std::string> starts = NewLogLines(log_path, log_offset);
  if (starts.size() != 1) {
    error = std::to_string(starts.size()) + " tool starts logged";
    return -1;
  }
  // own path, show state, command line, counter at entry
  const std::string& line = starts[0];
  size_t last_tab = line.rfind('\t');
  size_t show_tab = line.find('\t');
  size_t line_tab = show_tab == std::string::npos ? show_tab : line.find('\t', show_tab + 1);
  if (last_tab == std::string::npos || line_tab == std::string::npos || line_tab >= last_tab) {
    error = "unreadable log line: " + line;
    return -1;
  }
  std::string tool_line = line.substr(line_tab + 1, last_tab - line_tab - 1);
  if (tool_line != program.tool_command_line) {
    error = "tool started with " + tool_line;
    return -1;
  }
  long long entered = std::atoll(line.c_str() + last_tab + 1);
  if (entered < begin.QuadPart || entered > all_ended.QuadPart) {
    error = "tool's start outside the run (a counter not shared between processes?)";
    return -1;
  }
  run.to_tool_start = static_cast<double>(entered - begin.QuadPart) / frequency.QuadPart;
  run.to_exit = static_cast<double>(exited.QuadPart - begin.QuadPart) / frequency.QuadPart;
  return 0;
}

std::string Milliseconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", seconds * 1000);
  return text;
}

void PrintTable(const char* title, const std::vector<Program>& programs,
                std::vector<double> Program::*figure) {
  const Program& floor = programs[0];
  const Program& reference = programs[1];
  std::printf("\n%s\n\n", title);
  std::printf("| program | median | min | max | ratio to %s | ratio to %s |\n",
              floor.label.c_str(), reference.label.c_str());
  std::printf("|---|---:|---:|---:|---:|---:|\n");
  for (const Program& p : programs) {
    const std::vector<double>& s = p.*figure;
    std::vector<double> to_floor, to_reference;
    for (size_t round = 0; round < s.size(); ++round) {
      to_floor.push_back(s[round] / (floor.*figure)[round]);
      to_reference.push_back(s[round] / (reference.*figure)[round]);
    }
    std::printf("| %s | %s | %s | %s | %.3f | %.3f |\n", p.label.c_str(),
                Milliseconds(Median(s)).c_str(),
                Milliseconds(*std::min_element(s.begin(), s.end())).c_str(),
                Milliseconds(*std::max_element(s.begin(), s.end())).c_str(), Median(to_floor),
                Median(to_reference));
  }
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 32;
  std::vector<Program> programs;
  for (std::string line; std::getline(std::cin, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find('\t');
    size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos) continue;
    programs.push_back({line.substr(0, first), line.substr(first + 1, second - first - 1),
                        line.substr(second + 1), {}, {}});
  }
  char log_path[MAX_PATH] = {};
  DWORD length = GetEnvironmentVariableA("ZANDRELL_STUB_LOG", log_path, sizeof log_path);
  if (rounds < 1 || programs.size() < 2 || length == 0 || length >= sizeof log_path) {
    std::fprintf(stderr,
                 "usage: ZANDRELL_STUB_LOG=LOG time_launch ROUNDS < lines of\n"
                 "  'label<TAB>command line<TAB>tool's command line', floor first, reference second\n");
    return 2;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::ifstream existing(log_path, std::ios::binary | std::ios::ate);
  std::streamoff log_offset = existing ? static_cast<std::streamoff>(existing.tellg()) : 0;
  existing.close();

  // One round first, checked but not counted: it brings the programs and the
  // tool into the file cache and the wineserver's tables.
  for (int round = 0; round <= rounds; ++round) {
    bool counted = round > 0;
    if (counted) std::printf("round %2d", round);
    for (size_t step = 0; step < programs.size(); ++step) {
      size_t i = round % 2 == 0 ? programs.size() - 1 - step : step;  // forward, then reversed
      Program& p = programs[i];
      Run run = {};
      std::string error;
      if (TimeOne(p, log_path, log_offset, frequency, run, error) != 0) {
        std::fprintf(stderr, "\n%s failed (%s): %s\n", p.label.c_str(), error.c_str(),
                     p.command_line.c_str());
        return 1;
      }
      if (!counted) continue;
      p.to_tool_start.push_back(run.to_tool_start);
      p.to_exit.push_back(run.to_exit);
      std::printf("  %s %.1f/%.1f ms", p.label.c_str(), run.to_tool_start * 1000,
                  run.to_exit * 1000);
    }
    if (counted) std::printf("\n");
  }
  PrintTable("Time to the tool's start:", programs, &Program::to_tool_start);
  PrintTable("Time to the program's exit:", programs, &Program::to_exit);
  return 0;
}
