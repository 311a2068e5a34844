// Times programs from inside the Wine prefix: CreateProcess, wait for the
// exit, QueryPerformanceCounter around both. Timing in the prefix leaves out
// what the `wine` command itself costs to start.
//
// Reads "label<TAB>command line" lines from standard input and the number of
// runs from its argument; runs the commands in turn (A, B, A, B, ...) so that
// a slow phase of a shared machine hits them alike, checks that every run
// exits with 0, and prints each run, the median of each command and the
// median of the per-round ratios of every command to the first one.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Command {
  std::string label;
  std::string line;
  std::vector<double> seconds;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  if (n == 0) return 0;
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Seconds from start to exit, or a negative number when the program could
// not be started or did not exit with 0.
double TimeOne(const std::string& command_line, LARGE_INTEGER frequency) {
  std::string writable = command_line;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  LARGE_INTEGER begin, end;
  QueryPerformanceCounter(&begin);
  if (!CreateProcessA(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (code != 0) return -2;
  return static_cast<double>(end.QuadPart - begin.QuadPart) / frequency.QuadPart;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 20;
  std::vector<Command> commands;
  for (std::string line; std::getline(std::cin, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    commands.push_back({line.substr(0, tab), line.substr(tab + 1), {}});
  }
  if (runs < 1 || commands.empty()) {
    std::fprintf(stderr, "usage: time_launch RUNS < 'label<TAB>command line' lines\n");
    return 2;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);

  // One round of each first, not counted: it brings the programs and the
  // tool into the file cache and the wineserver's tables.
  for (Command& c : commands) TimeOne(c.line, frequency);

  std::vector<std::vector<double>> ratios(commands.size());
  for (int run = 0; run < runs; ++run) {
    std::printf("run %2d", run + 1);
    for (size_t i = 0; i < commands.size(); ++i) {
      double s = TimeOne(commands[i].line, frequency);
      if (s < 0) {
        std::fprintf(stderr, "\n%s failed (%s): %s\n", commands[i].label.c_str(),
                     s == -1 ? "not started" : "exit code not 0", commands[i].line.c_str());
        return 1;
      }
      commands[i].seconds.push_back(s);
      std::printf("  %s %.4f s", commands[i].label.c_str(), s);
    }
    std::printf("\n");
    for (size_t i = 1; i < commands.size(); ++i) {
      ratios[i].push_back(commands[i].seconds.back() / commands[0].seconds.back());
    }
  }
  std::printf("\n| command | median | min | max | median ratio to %s |\n|---|---|---|---|---|\n",
              commands[0].label.c_str());
  for (size_t i = 0; i < commands.size(); ++i) {
    const std::vector<double>& s = commands[i].seconds;
    std::printf("| %s | %.4f s | %.4f s | %.4f s | %s |\n", commands[i].label.c_str(), Median(s),
                *std::min_element(s.begin(), s.end()), *std::max_element(s.begin(), s.end()),
                i == 0 ? "1" : std::to_string(Median(ratios[i])).substr(0, 5).c_str());
  }
  return 0;
}
