# Tests of the real program under Wine: the platform contract against Wine's
# registry and runtime, and the program started as the shell would start it.
set(WINE_TEST_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_TEST_ENVIRONMENT "WINEPREFIX=${WINE_TEST_PREFIX}")

add_library(test_support STATIC tests/support/registry_helpers.cpp
  tests/support/outside_code_page_win32.cpp)
target_include_directories(test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(test_support PUBLIC launcher_logic PRIVATE project_warnings)

# nlohmann/json is header-only; its folder alone is put on the include path,
# since Debian's /usr/include as a whole is no place for a cross compiler.
find_path(NLOHMANN_JSON_FOLDER nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/json-include)
file(CREATE_LINK ${NLOHMANN_JSON_FOLDER}/nlohmann ${CMAKE_BINARY_DIR}/json-include/nlohmann SYMBOLIC)

add_library(wine_harness STATIC tests/wine/harness.cpp)
target_include_directories(wine_harness PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_include_directories(wine_harness SYSTEM PUBLIC ${CMAKE_BINARY_DIR}/json-include)
target_link_libraries(wine_harness PUBLIC test_support advapi32 PRIVATE project_warnings)

# A tool that records how it was started and exits at once, installed by the
# tests under the names of the real tools.
add_executable(stub_tool WIN32 tests/wine/stub_tool.cpp)
target_link_libraries(stub_tool PRIVATE project_warnings)

# The same stub, asking in its manifest for administrator rights. Its
# resources are compiled apart: windres would reject the C++ options.
add_library(stub_tool_admin_resources OBJECT tests/wine/require_administrator.rc)
set_source_files_properties(tests/wine/require_administrator.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/require_administrator.manifest)
add_executable(stub_tool_admin WIN32 tests/wine/stub_tool.cpp)
target_link_libraries(stub_tool_admin PRIVATE stub_tool_admin_resources project_warnings)

# The same stub as a real x64 program, which 32-bit Windows refuses to
# start; built with the x64 compiler beside the toolchain's own.
find_program(X64_CXX x86_64-w64-mingw32-g++-posix REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/stub_tool_x64.exe
  COMMAND ${X64_CXX} -std=c++17 -O2 -Wall -Wextra -Werror -static -s -mwindows
    -o ${CMAKE_BINARY_DIR}/stub_tool_x64.exe ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/stub_tool.cpp
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/stub_tool.cpp
  COMMENT "Building the stub tool for x64")
add_custom_target(stub_tool_x64 DEPENDS ${CMAKE_BINARY_DIR}/stub_tool_x64.exe)

# Starts a program with an exact command line and prints its exit code.
add_executable(run_exact tests/wine/run_exact.cpp)
target_link_libraries(run_exact PRIVATE wine_harness project_warnings)

# Opens a file through its association, as a double-click in Explorer does.
add_executable(shell_open tests/wine/shell_open.cpp)
target_link_libraries(shell_open PRIVATE shell32 project_warnings)

add_executable(contract_tests
  tests/wine/quiet_debug_output.cpp
  tests/contract/probe_contract_test.cpp
  tests/contract/registry_contract_test.cpp
  tests/wine/error_mode_test.cpp
  tests/wine/exact_ansi_test.cpp
  tests/wine/notification_test.cpp
  tests/wine/probe_sharing_test.cpp
)
target_link_libraries(contract_tests PRIVATE test_support platform_check_win32 gtest_main shell32 project_warnings)

add_executable(launcher_wine_tests
  tests/wine/quiet_debug_output.cpp
  tests/wine/arguments_test.cpp
  tests/wine/association_test.cpp
  tests/wine/boundaries_test.cpp
  tests/wine/check_test.cpp
  tests/wine/names_test.cpp
  tests/wine/open_test.cpp
  tests/wine/side_loading_test.cpp
  tests/wine/start_refused_test.cpp
)
target_link_libraries(launcher_wine_tests PRIVATE wine_harness gtest_main project_warnings)

set_target_properties(stub_tool stub_tool_admin run_exact shell_open contract_tests launcher_wine_tests
  PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(launcher_wine_tests ZandrellLauncher ZandrellCheck stub_tool stub_tool_admin stub_tool_x64 shell_open)

# DLLs under the names of system DLLs, which the side-loading test plants
# beside copies of the programs.
foreach(dll version shell32)
  add_library(planted_${dll} SHARED tests/wine/planted_dll.cpp)
  set_target_properties(planted_${dll} PROPERTIES OUTPUT_NAME ${dll} PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/planted)
  target_link_options(planted_${dll} PRIVATE -Wl,--kill-at)
  add_dependencies(launcher_wine_tests planted_${dll})
endforeach()


# The launcher's and the contract's suites in a fresh prefix of their own;
# the prefix's wineserver is ended last. `suffix` tells the ctest entries of
# one prefix from another's.
function(add_wine_suites suffix environment fixture lock)
  add_test(NAME wine_prefix${suffix} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/fresh-prefix.sh)
  add_test(NAME wine_shutdown${suffix} COMMAND sh -c "wineserver -k 2>/dev/null; exit 0")
  set_tests_properties(wine_prefix${suffix} PROPERTIES FIXTURES_SETUP ${fixture} ENVIRONMENT "${environment}")
  set_tests_properties(wine_shutdown${suffix} PROPERTIES FIXTURES_CLEANUP ${fixture} ENVIRONMENT "${environment}")
  add_test(NAME contract_tests${suffix} COMMAND contract_tests)
  add_test(NAME launcher_wine_tests${suffix} COMMAND launcher_wine_tests
    --gtest_filter=-AssociationTest.TheDescriptionFollowsTheSystemLanguage)
  foreach(suite contract_tests${suffix} launcher_wine_tests${suffix})
    set_tests_properties(${suite} PROPERTIES FIXTURES_REQUIRED ${fixture} RESOURCE_LOCK ${lock}
      ENVIRONMENT "${environment}" TIMEOUT 600)
  endforeach()
endfunction()

add_wine_suites("" "${WINE_TEST_ENVIRONMENT}" wine wineprefix)
# The same suites on 32-bit Windows: a prefix made with WINEARCH=win32 has
# one registry view, no "Program Files (x86)" and runs no x64 program.
set(WINE32_TEST_ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix32;WINEARCH=win32")
add_wine_suites(_win32 "${WINE32_TEST_ENVIRONMENT}" wine32 wineprefix32)

# The association is still there after the wineserver, which keeps the
# registry, has ended and started again.
add_test(NAME registration_survives_restart
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine/across-restart.sh $<TARGET_FILE:launcher_wine_tests>
    AssociationAcrossRestart.DISABLED_Register AssociationAcrossRestart.DISABLED_ReadBack)
set_tests_properties(registration_survives_restart PROPERTIES FIXTURES_REQUIRED wine
  RESOURCE_LOCK wineprefix ENVIRONMENT "${WINE_TEST_ENVIRONMENT}" TIMEOUT 300)

# Names beyond the code page once more under code page 932 (Japanese), a
# double-byte code page whose second bytes may read as a backslash, and under
# 65001, UTF-8 as the ANSI code page: Wine takes it for a locale whose
# language has no ANSI code page of its own, such as Hindi.
foreach(locale ja_JP hi_IN)
  add_test(NAME names_in_${locale} COMMAND launcher_wine_tests --gtest_filter=NamesTest.*)
  add_test(NAME exact_ansi_in_${locale} COMMAND contract_tests --gtest_filter=ExactAnsi.*)
  set_tests_properties(names_in_${locale} exact_ansi_in_${locale} PROPERTIES FIXTURES_REQUIRED wine
    RESOURCE_LOCK wineprefix ENVIRONMENT "${WINE_TEST_ENVIRONMENT};LC_ALL=${locale}.UTF-8" TIMEOUT 300)
endforeach()

# The file-type description follows the system's default UI language, which
# Wine takes from the locale it is started in.
foreach(locale de_DE de_AT de_CH fr_FR en_US)
  add_test(NAME description_in_${locale}
    COMMAND launcher_wine_tests --gtest_filter=AssociationTest.TheDescriptionFollowsTheSystemLanguage)
  set_tests_properties(description_in_${locale} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wineprefix
    ENVIRONMENT "${WINE_TEST_ENVIRONMENT};LC_ALL=${locale}.UTF-8" TIMEOUT 120)
endforeach()
