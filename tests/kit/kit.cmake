# The test kit for a real Windows machine: the Wine suites are Windows
# programs already, and what ties them to Wine is only the way ctest starts
# them. ZandrellLauncher-<version>-tests.zip holds them with everything they
# find beside themselves (BuildFolder() in tests/wine/harness.cpp) and
# run-tests.cmd, which runs them from an elevated prompt and puts the machine
# back as it found it. Built with every windows build; tested here under Wine.

# The suites, in the order run-tests.cmd runs them, and the packages it
# removes again at the end (the installer suite installs all of them).
set(kit_suites contract_tests launcher_wine_tests installer_wine_tests)
set(kit_packages
  ZandrellLauncher-${ZANDRELL_PACKAGE_VERSION}.msi
  installer-test/ZandrellLauncher-${ZANDRELL_PACKAGE_VERSION}.msi
  installer-test/ZandrellLauncher-${upgrade_version}.msi)

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
    COMMAND ${installer_tests}/build-upgrade-package.sh ${version}
      $<TARGET_FILE:ZandrellLauncher> $<TARGET_FILE:ZandrellCheck> ${output}
    DEPENDS ${installer_tests}/build-upgrade-package.sh ${CMAKE_SOURCE_DIR}/installer/build-package.sh
      ${CMAKE_SOURCE_DIR}/installer/ZandrellLauncher.wxs ${CMAKE_SOURCE_DIR}/installer/file_version.py
      ${CMAKE_SOURCE_DIR}/resources/ZandrellLauncher.ico ZandrellLauncher ZandrellCheck
    COMMENT "Building the test kit's ZandrellLauncher-${version}.msi"
    VERBATIM)
endfunction()
kit_package(${kit_rebuilt} ${ZANDRELL_PACKAGE_VERSION})
kit_package(${kit_upgrade} ${upgrade_version})

# The script knows the suites and packages by these names. cmd reads a
# script with bare line feeds wrongly in places (labels among them), so it
# gets the line ends of Windows.
list(JOIN kit_suites " " KIT_SUITES)
list(TRANSFORM kit_packages REPLACE "/" "\\\\" OUTPUT_VARIABLE kit_package_paths)
list(TRANSFORM kit_package_paths PREPEND "\"")
list(TRANSFORM kit_package_paths APPEND "\"")
list(JOIN kit_package_paths " " KIT_PACKAGES)
configure_file(${CMAKE_CURRENT_LIST_DIR}/run-tests.cmd.in ${kit_work}/run-tests.cmd @ONLY NEWLINE_STYLE CRLF)

set(kit_programs ZandrellLauncher ZandrellCheck ${kit_suites} stub_tool stub_tool_admin shell_open)
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

