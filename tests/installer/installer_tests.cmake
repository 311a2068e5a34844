# Tests of the Windows Installer package: its sequence and tables read back,
# its builds compared, its signatures verified (with and without a time
# stamp), and the package installed, replaced, upgraded, repaired and removed
# by Wine's msiexec in a prefix of its own.
set(installer_tests ${CMAKE_CURRENT_LIST_DIR})
set(installer_work ${CMAKE_BINARY_DIR}/installer-test)
# The next patch version, to upgrade to.
math(EXPR upgrade_patch "${PROJECT_VERSION_PATCH} + 1")
set(upgrade_version ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${upgrade_patch})

add_test(NAME installer_sequence
  COMMAND ${Python3_EXECUTABLE} ${installer_tests}/check_sequence.py ${ZANDRELL_PACKAGE})
# The tables against the next version's package (built for the Wine tests),
# the files' versions against the source of their version block.
add_test(NAME installer_tables
  COMMAND ${Python3_EXECUTABLE} ${installer_tests}/check_tables.py ${ZANDRELL_PACKAGE}
    ${installer_work}/ZandrellLauncher-${upgrade_version}.msi
    ${CMAKE_SOURCE_DIR}/resources/version_block.rc ${PROJECT_VERSION})
# Each of the validator's checks in check_tables.py refuses a fault planted in
# the package's tables.
add_test(NAME installer_ice_checks
  COMMAND ${Python3_EXECUTABLE} ${installer_tests}/ice_checks_test.py ${ZANDRELL_PACKAGE})
# The script that fills in the File table, on a program whose version fields
# and language tell every mix-up apart (the package's programs are 1.7.0.0).
add_library(versioned_program_resources OBJECT ${installer_tests}/versioned_program.rc)
add_executable(versioned_program WIN32 ${CMAKE_SOURCE_DIR}/tests/wine/stub_tool.cpp)
target_link_libraries(versioned_program PRIVATE versioned_program_resources project_warnings)
add_test(NAME installer_file_version_script
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/installer/file_version.py
    $<TARGET_FILE:versioned_program>)
set_tests_properties(installer_file_version_script PROPERTIES
  PASS_REGULAR_EXPRESSION "^2\\.513\\.7\\.40001 1031\n$")
# The custom action DLL runs inside the installer's process: it brings no
# DLL along beyond the two it needs.
add_test(NAME folder_check_imports
  COMMAND ${CMAKE_SOURCE_DIR}/tests/resources/check-imports.sh ${CMAKE_OBJDUMP}
    $<TARGET_FILE:ZandrellFolderCheck> KERNEL32.dll msi.dll)
set(packaged_programs $<TARGET_FILE:ZandrellLauncher> $<TARGET_FILE:ZandrellCheck>
  $<TARGET_FILE:ZandrellFolderCheck>)
add_test(NAME installer_rebuild_identical
  COMMAND ${installer_tests}/check-package-rebuild.sh ${ZANDRELL_PACKAGE_VERSION}
    ${packaged_programs} ${installer_work}/rebuild)
add_test(NAME installer_signing
  COMMAND ${installer_tests}/check-signing.sh ${packaged_programs} ${installer_work}/signing)
add_test(NAME installer_timestamp_signing
  COMMAND ${installer_tests}/check-timestamp-signing.sh ${packaged_programs}
    ${installer_work}/timestamp)
set_tests_properties(installer_sequence installer_tables installer_ice_checks
  installer_file_version_script folder_check_imports installer_rebuild_identical
  installer_signing installer_timestamp_signing PROPERTIES LABELS installer)

# Everything built twice from scratch, the package last: minutes, hence a
# label of its own (`-L reproducible_package`), and out of `-LE reproducible`.
add_test(NAME reproducible_package
  COMMAND ${CMAKE_SOURCE_DIR}/tests/resources/check-reproducible.sh ZandrellLauncher_msi
    ZandrellLauncher-${ZANDRELL_PACKAGE_VERSION}.msi)
set_tests_properties(reproducible_package PROPERTIES
  LABELS "reproducible;reproducible_package" RUN_SERIAL TRUE TIMEOUT 1800)

# Under Wine: a fresh prefix of their own, the package of the next patch
# version to upgrade to and a second build of this version, built from the
# same WiX source.
set(MSI_TEST_ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/msi-prefix")

add_executable(installer_wine_tests ${installer_tests}/installer_wine_test.cpp
  ${CMAKE_SOURCE_DIR}/tests/wine/quiet_debug_output.cpp)
target_link_libraries(installer_wine_tests PRIVATE wine_harness msi gtest_main project_warnings)
target_compile_definitions(installer_wine_tests PRIVATE
  ZL_PACKAGE_VERSION="${ZANDRELL_PACKAGE_VERSION}" ZL_UPGRADE_VERSION="${upgrade_version}")
set_target_properties(installer_wine_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(installer_wine_tests ZandrellLauncher_msi stub_tool shell_open)

add_test(NAME msi_prefix COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/fresh-prefix.sh)
add_test(NAME msi_upgrade_package
  COMMAND ${installer_tests}/build-upgrade-package.sh ${upgrade_version} ${packaged_programs}
    ${installer_work}/ZandrellLauncher-${upgrade_version}.msi)
add_test(NAME msi_rebuilt_package
  COMMAND ${installer_tests}/build-upgrade-package.sh ${ZANDRELL_PACKAGE_VERSION}
    ${packaged_programs} ${installer_work}/ZandrellLauncher-${ZANDRELL_PACKAGE_VERSION}.msi)
# The package as built from the sources of the last commit before .cfg's
# default had a component of its own, to upgrade from.
set(shipped_commit 588868b)
add_test(NAME msi_shipped_package
  COMMAND ${installer_tests}/build-upgrade-package.sh ${ZANDRELL_PACKAGE_VERSION} ${packaged_programs}
    ${installer_work}/ZandrellLauncher-${shipped_commit}.msi ${shipped_commit})
add_test(NAME msi_shutdown COMMAND sh -c "wineserver -k 2>/dev/null; exit 0")
set_tests_properties(msi_prefix PROPERTIES FIXTURES_SETUP msi)
set_tests_properties(msi_shipped_package PROPERTIES FIXTURES_SETUP msi_packages)
set_tests_properties(msi_rebuilt_package PROPERTIES FIXTURES_SETUP msi_packages)
set_tests_properties(msi_upgrade_package PROPERTIES FIXTURES_SETUP "msi_packages;msi_next_version")
set_tests_properties(installer_tables PROPERTIES FIXTURES_REQUIRED msi_next_version)
set_tests_properties(msi_shutdown PROPERTIES FIXTURES_CLEANUP msi)

add_test(NAME installer_wine_tests COMMAND installer_wine_tests
  --gtest_filter=-InstallerTest.TheDescriptionFollowsTheSystemLanguage)
set_tests_properties(installer_wine_tests PROPERTIES ENVIRONMENT "LC_ALL=en_US.UTF-8" TIMEOUT 600)
# The file-type description follows the system's language, which Wine takes
# from the locale it is started in.
foreach(locale de_DE de_AT de_CH fr_FR)
  add_test(NAME installer_description_in_${locale} COMMAND installer_wine_tests
    --gtest_filter=InstallerTest.TheDescriptionFollowsTheSystemLanguage)
  set_tests_properties(installer_description_in_${locale} PROPERTIES
    ENVIRONMENT "LC_ALL=${locale}.UTF-8" TIMEOUT 120)
  list(APPEND msi_wine_tests installer_description_in_${locale})
endforeach()

set_property(TEST installer_wine_tests APPEND PROPERTY ENVIRONMENT ZL_SHIPPED_COMMIT=${shipped_commit})
foreach(test msi_prefix msi_shutdown installer_wine_tests ${msi_wine_tests})
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "${MSI_TEST_ENVIRONMENT}")
  set_property(TEST ${test} PROPERTY RESOURCE_LOCK wineprefix)
endforeach()
foreach(test installer_wine_tests ${msi_wine_tests})
  set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED "msi;msi_packages" LABELS installer)
endforeach()

# The same scenario on 32-bit Windows (a prefix made with WINEARCH=win32):
# the package goes to Program Files and writes its keys in the one view.
add_test(NAME msi_prefix_win32 COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/fresh-prefix.sh)
add_test(NAME msi_shutdown_win32 COMMAND sh -c "wineserver -k 2>/dev/null; exit 0")
add_test(NAME installer_wine_tests_win32 COMMAND installer_wine_tests
  --gtest_filter=-InstallerTest.TheDescriptionFollowsTheSystemLanguage)
set_tests_properties(msi_prefix_win32 PROPERTIES FIXTURES_SETUP msi32)
set_tests_properties(msi_shutdown_win32 PROPERTIES FIXTURES_CLEANUP msi32)
set_tests_properties(installer_wine_tests_win32 PROPERTIES FIXTURES_REQUIRED "msi32;msi_packages"
  LABELS installer TIMEOUT 600)
foreach(test msi_prefix_win32 msi_shutdown_win32 installer_wine_tests_win32)
  set_property(TEST ${test} PROPERTY ENVIRONMENT
    "WINEPREFIX=${CMAKE_BINARY_DIR}/msi-prefix32;WINEARCH=win32;LC_ALL=en_US.UTF-8;ZL_SHIPPED_COMMIT=${shipped_commit}")
  set_property(TEST ${test} PROPERTY RESOURCE_LOCK wineprefix32)
endforeach()
# The default folder of each system, with the description as the system's
# language has it.
add_test(NAME installer_default_folder_win32 COMMAND installer_wine_tests
  --gtest_filter=InstallerTest.TheDescriptionFollowsTheSystemLanguage)
set_tests_properties(installer_default_folder_win32 PROPERTIES FIXTURES_REQUIRED "msi32;msi_packages"
  LABELS installer TIMEOUT 120 RESOURCE_LOCK wineprefix32
  ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/msi-prefix32;WINEARCH=win32;LC_ALL=de_AT.UTF-8")
