# The logic built natively over the in-memory platform, for the unit tests.
add_library(platform_host STATIC platform/host/platform_host.cpp
  platform/host/platform_check_host.cpp)
target_include_directories(platform_host PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(platform_host PRIVATE project_warnings)
target_link_libraries(launcher_logic PUBLIC platform_host)

if(BUILD_TESTING)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  include(tests/host/host_tests.cmake)
endif()

option(ZANDRELL_BENCHMARKS "Build the benchmarks in bench/" OFF)
if(ZANDRELL_BENCHMARKS)
  include(bench/host.cmake)
endif()
