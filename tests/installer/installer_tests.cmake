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
# The tables against the next version's package (built for the Wine tests).
string(REGEX REPLACE "\\.msi$" "" packaged_files ${ZANDRELL_PACKAGE})
add_test(NAME installer_tables
  COMMAND ${Python3_EXECUTABLE} ${installer_tests}/check_tables.py ${ZANDRELL_PACKAGE}
    ${packaged_files} ${installer_work}/ZandrellLauncher-${upgrade_version}.msi)
# What every package carries, as build-package.sh takes it.
set(packaged_programs $<TARGET_FILE:ZandrellLauncher> $<TARGET_FILE:ZandrellCheck>)
add_test(NAME installer_rebuild_identical
  COMMAND ${installer_tests}/check-package-rebuild.sh ${ZANDRELL_PACKAGE_VERSION}
    ${packaged_programs} ${installer_work}/rebuild)
add_test(NAME installer_signing
  COMMAND ${installer_tests}/check-signing.sh ${packaged_programs} ${installer_work}/signing)
add_test(NAME installer_timestamp_signing
  COMMAND ${installer_tests}/check-timestamp-signing.sh ${packaged_programs}
    ${installer_work}/timestamp)
set_tests_properties(installer_sequence installer_tables installer_rebuild_identical
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
add_test(NAME msi_shutdown COMMAND sh -c "wineserver -k 2>/dev/null; exit 0")
set_tests_properties(msi_prefix msi_rebuilt_package PROPERTIES FIXTURES_SETUP msi)
set_tests_properties(msi_upgrade_package PROPERTIES FIXTURES_SETUP "msi;msi_next_version")
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

foreach(test msi_prefix msi_shutdown installer_wine_tests ${msi_wine_tests})
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "${MSI_TEST_ENVIRONMENT}")
  set_property(TEST ${test} PROPERTY RESOURCE_LOCK wineprefix)
endforeach()
foreach(test installer_wine_tests ${msi_wine_tests})
  set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED msi LABELS installer)
endforeach()
