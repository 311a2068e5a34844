# The test kit for a real Windows machine: the Wine suites are Windows
# programs already, and what ties them to Wine is only the way ctest starts
# them. ZandrellLauncher-<version>-tests.zip holds them with everything they
# find beside themselves (BuildFolder() in tests/wine/harness.cpp) and
# run-tests.cmd, which runs them from an elevated prompt and puts the machine
# back as it found it. Built with every windows build; tested here under Wine.

# The suites, in the order run-tests.cmd runs them.
set(kit_suites contract_tests launcher_wine_tests installer_wine_tests)

set(kit_name ZandrellLauncher-${ZANDRELL_PACKAGE_VERSION}-tests)
set(kit_work ${CMAKE_BINARY_DIR}/test-kit)
set(kit_folder ${kit_work}/${kit_name})
set(ZANDRELL_TEST_KIT ${CMAKE_BINARY_DIR}/${kit_name}.zip)

# The installer suite's second build of this version and the next version's
# package, which ctest builds into installer-test/ only when it runs; the
# kit needs them at build time.
set(kit_rebuilt ${kit_work}/packages/ZandrellLauncher-${ZANDRELL_PACKAGE_VERSION}.msi)
set(kit_upgrade ${kit_work}/packages/ZandrellLauncher-${upgrade_version}.msi)
function(kit_package output version)
  add_custom_command(OUTPUT ${output}
    COMMAND ${installer_tests}/build-upgrade-package.sh ${version} ${packaged_programs} ${output}
    DEPENDS ${installer_tests}/build-upgrade-package.sh ${CMAKE_SOURCE_DIR}/installer/build-package.sh
      ${CMAKE_SOURCE_DIR}/installer/ZandrellLauncher.wxs ${CMAKE_SOURCE_DIR}/installer/file_version.py
      ${CMAKE_SOURCE_DIR}/resources/ZandrellLauncher.ico ${packaged_programs}
    COMMENT "Building the test kit's ZandrellLauncher-${version}.msi"
    VERBATIM)
endfunction()
kit_package(${kit_rebuilt} ${ZANDRELL_PACKAGE_VERSION})
kit_package(${kit_upgrade} ${upgrade_version})

# The script knows the suites by these names. cmd reads a script with bare
# line feeds wrongly in places (labels among them), so it gets the line ends
# of Windows.
list(JOIN kit_suites " " KIT_SUITES)
configure_file(${CMAKE_CURRENT_LIST_DIR}/run-tests.cmd.in ${kit_work}/run-tests.cmd @ONLY NEWLINE_STYLE CRLF)

# What cmd can't do for run-tests.cmd: tell whether the kit's folder fits
# the ANSI code page, find and remove the products of the package's upgrade
# code (the one the package's build script gives it), and read the reports.
file(STRINGS ${CMAKE_SOURCE_DIR}/installer/build-package.sh kit_upgrade_code REGEX "^upgrade_code=")
string(REGEX REPLACE "^upgrade_code=" "" kit_upgrade_code "${kit_upgrade_code}")
add_executable(kit_tool tests/kit/kit_tool.cpp)
target_compile_definitions(kit_tool PRIVATE ZL_UPGRADE_CODE=L"{${kit_upgrade_code}}")
target_link_options(kit_tool PRIVATE -municode)
target_link_libraries(kit_tool PRIVATE platform_win32 msi project_warnings)
set_target_properties(kit_tool PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

set(kit_programs ZandrellLauncher ZandrellCheck ${kit_suites} kit_tool stub_tool stub_tool_admin shell_open)
set(kit_program_files)
foreach(program ${kit_programs})
  list(APPEND kit_program_files $<TARGET_FILE:${program}>)
endforeach()
set(kit_planted_dlls $<TARGET_FILE:planted_version> $<TARGET_FILE:planted_shell32>)
string(REGEX REPLACE "\\.msi$" "" kit_packaged_files ${ZANDRELL_PACKAGE})
get_filename_component(kit_rebuilt_files ${kit_rebuilt} NAME_WLE)
get_filename_component(kit_upgrade_files ${kit_upgrade} NAME_WLE)

# The layout the test programs expect beside themselves, made afresh, then
# zipped with the kit's folder at the top.
add_custom_command(OUTPUT ${ZANDRELL_TEST_KIT}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${kit_folder} ${ZANDRELL_TEST_KIT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${kit_folder}/planted ${kit_folder}/installer-test
  COMMAND ${CMAKE_COMMAND} -E copy ${kit_work}/run-tests.cmd ${kit_program_files}
    ${CMAKE_BINARY_DIR}/stub_tool_x64.exe ${ZANDRELL_PACKAGE} ${kit_folder}
  COMMAND ${CMAKE_COMMAND} -E copy ${kit_planted_dlls} ${kit_folder}/planted
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${kit_packaged_files}
    ${kit_folder}/ZandrellLauncher-${ZANDRELL_PACKAGE_VERSION}
  COMMAND ${CMAKE_COMMAND} -E copy ${kit_rebuilt} ${kit_upgrade} ${kit_folder}/installer-test
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${kit_work}/packages/${kit_rebuilt_files}
    ${kit_folder}/installer-test/${kit_rebuilt_files}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${kit_work}/packages/${kit_upgrade_files}
    ${kit_folder}/installer-test/${kit_upgrade_files}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${ZANDRELL_TEST_KIT} --format=zip ${kit_name}
  WORKING_DIRECTORY ${kit_work}
  DEPENDS ${kit_work}/run-tests.cmd ${kit_programs} ${CMAKE_BINARY_DIR}/stub_tool_x64.exe stub_tool_x64
    planted_version planted_shell32 ${ZANDRELL_PACKAGE} ZandrellLauncher_msi ${kit_rebuilt} ${kit_upgrade}
  COMMENT "Building the test kit ${kit_name}.zip"
  VERBATIM)
add_custom_target(test_kit ALL DEPENDS ${ZANDRELL_TEST_KIT})

# Under Wine: the kit unpacked into a fresh 64-bit prefix, run as a person
# runs it. Wine takes the system's language from the locale: the machine is
# a German one, whose file-type description the suites must expect of the
# machine itself. The real suites run through the kit once; what the kit
# itself does (saving, putting back, /restore, counting, refusing) is shown
# with small programs standing in for the suites, which touch the same keys.
add_executable(deny_software_writes tests/kit/deny_software_writes.cpp)
target_link_libraries(deny_software_writes PRIVATE advapi32 project_warnings)
add_executable(stand_in_suite tests/kit/stand_in_suite.cpp)
target_link_options(stand_in_suite PRIVATE -municode)
target_link_libraries(stand_in_suite PRIVATE project_warnings)

set(kit_under_wine ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/kit_under_wine.py)
set(KIT_ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/kit-prefix;LC_ALL=de_DE.UTF-8")
add_test(NAME kit_prefix COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/fresh-prefix.sh)
add_test(NAME kit_in_wine COMMAND ${kit_under_wine} run ${ZANDRELL_TEST_KIT} ${kit_suites})
add_test(NAME kit_with_stand_ins COMMAND ${kit_under_wine} stand-ins ${ZANDRELL_TEST_KIT}
  $<TARGET_FILE:stand_in_suite> ${kit_suites})
add_test(NAME kit_refuses_to_start
  COMMAND ${kit_under_wine} refusals ${ZANDRELL_TEST_KIT} $<TARGET_FILE:deny_software_writes>)
add_test(NAME kit_shutdown COMMAND sh -c "wineserver -k 2>/dev/null; exit 0")
set(kit_tests kit_prefix kit_in_wine kit_with_stand_ins kit_refuses_to_start kit_shutdown)
set_tests_properties(${kit_tests} PROPERTIES ENVIRONMENT "${KIT_ENVIRONMENT}" RESOURCE_LOCK wineprefix
  LABELS kit)
set_tests_properties(kit_prefix PROPERTIES FIXTURES_SETUP kit)
set_tests_properties(kit_shutdown PROPERTIES FIXTURES_CLEANUP kit)
set_tests_properties(kit_in_wine kit_with_stand_ins kit_refuses_to_start PROPERTIES FIXTURES_REQUIRED kit)
# The suites' own time on a busy machine, with room to spare.
set_tests_properties(kit_in_wine PROPERTIES TIMEOUT 1800)
set_tests_properties(kit_with_stand_ins kit_refuses_to_start PROPERTIES TIMEOUT 900)

# The workflow that runs the kit on a hosted Windows runner, read back, since
# it cannot run here.
# Debian's own interpreter, for which python3-yaml installs the YAML reader
# (another python3 on the search path may have none).
find_program(DEBIAN_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT DEBIAN_PYTHON3)
  set(DEBIAN_PYTHON3 ${Python3_EXECUTABLE})
endif()
add_test(NAME kit_workflow
  COMMAND ${DEBIAN_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/check_workflow.py
    ${CMAKE_SOURCE_DIR}/.github/workflows/windows.yml ${CMAKE_SOURCE_DIR}/README.md ${ZANDRELL_TEST_KIT})
set_tests_properties(kit_workflow PROPERTIES LABELS kit)
