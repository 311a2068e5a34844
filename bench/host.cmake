# Benchmarks of the logic over the in-memory platform (Google Benchmark).
# Built only with -DZANDRELL_BENCHMARKS=ON, best in a Release build of its
# own without the sanitizers; scripts/performance.sh does that.
find_package(benchmark REQUIRED)

add_executable(host_benchmarks
  ${CMAKE_CURRENT_LIST_DIR}/host_benchmarks.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/registry_helpers.cpp
)
target_link_libraries(host_benchmarks PRIVATE launcher_logic benchmark::benchmark project_warnings)
