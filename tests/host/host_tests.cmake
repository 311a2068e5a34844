add_library(test_support STATIC tests/support/registry_helpers.cpp
  tests/support/outside_code_page_host.cpp)
target_include_directories(test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(test_support PUBLIC launcher_logic PRIVATE project_warnings)

add_executable(host_tests
  tests/contract/probe_contract_test.cpp
  tests/contract/registry_contract_test.cpp
  tests/host/association_test.cpp
  tests/host/check_association_test.cpp
  tests/host/check_test.cpp
  tests/host/check_versions_test.cpp
  tests/host/command_line_test.cpp
  tests/host/fault_injection_test.cpp
  tests/host/install_candidate_test.cpp
  tests/host/install_folder_test.cpp
  installer/folder_check/install_folder.cpp
  tests/host/launch_test.cpp
  tests/host/outside_code_page_test.cpp
  tests/host/program_image_test.cpp
  tests/host/quiet_error_mode_test.cpp
  tests/host/scan_test.cpp
  tests/host/wow64_test.cpp
)
find_package(nlohmann_json REQUIRED)
target_link_libraries(host_tests PRIVATE test_support check_logic nlohmann_json::nlohmann_json
  GTest::gtest_main project_warnings)
gtest_discover_tests(host_tests DISCOVERY_MODE PRE_TEST)
