# libFuzzer targets over the logic and the in-memory platform (the `fuzz`
# preset builds everything with clang and the coverage instrumentation;
# scripts/fuzz.sh builds and runs them).
foreach(target command_line probe version_name registry)
  add_executable(fuzz_${target} tests/fuzz/fuzz_${target}.cpp)
  target_link_libraries(fuzz_${target} PRIVATE launcher_logic project_warnings)
  target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer)
endforeach()
