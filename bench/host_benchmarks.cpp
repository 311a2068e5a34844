// Benchmarks of the launcher's logic over the in-memory platform. They print
// figures and judge nothing; scripts/performance.sh runs them and writes the
// figures into docs/PERFORMANCE.md.
//
// The in-memory platform records every call it answers; the benchmarks that
// make many calls forget them after each iteration, or the record would grow
// for as long as the benchmark runs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/launcher.h"
#include "config_probe/probe_configuration.h"
#include "discovery/install_candidate.h"
#include "discovery/scan_installations.h"
#include "platform/host/host_platform.h"
#include "tests/support/registry_helpers.h"

namespace {

namespace fs = std::filesystem;

const char kMorvoRoot[] = "SOFTWARE\\KESTAL\\Morvo";

// A folder of our own under /tmp, removed again when the program ends.
const fs::path& Scratch() {
  static const fs::path folder = [] {
    fs::path path = fs::temp_directory_path() / ("zandrell-bench-" + std::to_string(getpid()));
    fs::remove_all(path);
    fs::create_directories(path);
    std::atexit([] { fs::remove_all(fs::temp_directory_path() /
                                    ("zandrell-bench-" + std::to_string(getpid()))); });
    return path;
  }();
  return folder;
}

// An installation folder with both builds of Morvo in it.
std::string InstallFolder(const std::string& name) {
  fs::path folder = Scratch() / name;
  for (const char* bits : {"32", "64"}) {
    fs::create_directories(folder / (std::string("Exec") + bits));
    std::ofstream(folder / (std::string("Exec") + bits) / (std::string("Morvo") + bits + ".exe"))
        << "MZ";
  }
  return AsWindowsPath(folder.string());
}

// A fresh registry with `versions` Morvo versions in the 32-bit view. Many
// versions share a few folders: what is measured is the scan's work per
// version, which does not depend on the folders being different.
void MakeRegistry(int versions, int folders) {
  ResetHostPlatform();
  std::vector<std::string> paths;
  for (int i = 0; i < folders; ++i) paths.push_back(InstallFolder("Morvo-" + std::to_string(i)));
  for (int i = 0; i < versions; ++i) {
    std::string version = std::to_string(1 + i / 100) + "." + std::to_string(i % 100);
    if (!WriteString(kLocalMachine, std::string(kMorvoRoot) + "\\" + version, "Path",
                     paths[static_cast<size_t>(i) % paths.size()], kKeyWow64_32Key)) {
      std::fprintf(stderr, "cannot write version %s\n", version.c_str());
      std::exit(1);
    }
  }
  ClearRecordedCalls();
}

std::string WriteConfiguration(const std::string& name, const std::string& first_line,
                               uint64_t size) {
  std::string path = (Scratch() / name).string();
  {
    std::ofstream file(path, std::ios::binary);
    file << '\xef' << first_line << "\r\n";
  }
  // The rest is a hole: a file of any size costs no disk.
  if (size > fs::file_size(path)) fs::resize_file(path, size);
  return path;
}

// Double-click to WinExec: probe, scan, sort, start (the host only records
// the start).
void BM_OpenConfigurationFile(benchmark::State& state) {
  MakeRegistry(static_cast<int>(state.range(0)), 3);
  std::string config = WriteConfiguration("open.cfg", "Morvo model", 1024);
  for (auto _ : state) {
    if (OpenConfigurationFile(config.c_str()) != 0) {
      state.SkipWithError("the configuration was not opened");
      break;
    }
    ClearRecordedCalls();
  }
  state.counters["started"] = static_cast<double>(StartedPrograms().size());
  ResetHostPlatform();
}
BENCHMARK(BM_OpenConfigurationFile)->Arg(3)->Unit(benchmark::kMicrosecond);

void BM_ScanInstallations(benchmark::State& state) {
  const int versions = static_cast<int>(state.range(0));
  MakeRegistry(versions, 10);
  InstallCandidate wanted = {};
  wanted.kind = kToolMorvo;
  for (auto _ : state) {
    CandidateList list;
    if (ScanInstallations(&list, wanted) != 0 || list.size() != 2u * versions) {
      state.SkipWithError("the scan did not find every build");
      break;
    }
    benchmark::DoNotOptimize(list.data());
    ClearRecordedCalls();
  }
  state.SetComplexityN(versions);
  state.counters["per_version"] = benchmark::Counter(
      versions, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  ResetHostPlatform();
}
BENCHMARK(BM_ScanInstallations)
    ->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

// Sorting the candidates of `range(0)` versions, both builds each, handed
// over in a shuffled order.
void BM_SortCandidates(benchmark::State& state) {
  const int versions = static_cast<int>(state.range(0));
  CandidateList unsorted;
  for (int i = 0; i < versions; ++i) {
    for (int32_t bitness : {kBitness32, kBitness64}) {
      InstallCandidate c = {};
      c.kind = kToolMorvo;
      c.major = static_cast<uint32_t>(1 + i / 100);
      c.minor = static_cast<uint32_t>(i % 100);
      c.bitness = bitness;
      std::snprintf(c.exe_path, sizeof c.exe_path, "C:\\Program Files\\KESTAL\\Morvo %u.%u\\Exec%s\\Morvo%s.exe",
                    c.major, c.minor, bitness ? "64" : "32", bitness ? "64" : "32");
      unsorted.push_back(c);
    }
  }
  std::shuffle(unsorted.begin(), unsorted.end(), std::mt19937(12345));
  CandidateList list;
  for (auto _ : state) {
    state.PauseTiming();
    list = unsorted;
    state.ResumeTiming();
    SortCandidates(&list);
    benchmark::DoNotOptimize(list.data());
  }
  state.SetComplexityN(versions);
  state.counters["per_version"] = benchmark::Counter(
      versions, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SortCandidates)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The probe reads one line; what follows it must not cost anything.
void BM_ProbeConfiguration(benchmark::State& state) {
  const uint64_t size = static_cast<uint64_t>(state.range(0));
  ResetHostPlatform();
  std::string path = WriteConfiguration("probe-" + std::to_string(size) + ".cfg",
                                        "Morvo model, format 10", size);
  for (auto _ : state) {
    ToolKind kind = 0;
    if (ProbeConfiguration(path.c_str(), &kind) != 0 || kind != kToolMorvo) {
      state.SkipWithError("the probe did not recognise the file");
      break;
    }
    ClearRecordedCalls();
  }
  fs::remove(path);
  ResetHostPlatform();
}
BENCHMARK(BM_ProbeConfiguration)
    ->Arg(1 << 10)->Arg(1 << 20)->Arg(1 << 30)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
