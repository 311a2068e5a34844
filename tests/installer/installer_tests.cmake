# Tests of the Windows Installer package: its sequence read back, its builds
# compared and its signatures verified.
set(installer_tests ${CMAKE_CURRENT_LIST_DIR})
set(installer_work ${CMAKE_BINARY_DIR}/installer-test)

add_test(NAME installer_sequence
  COMMAND ${Python3_EXECUTABLE} ${installer_tests}/check_sequence.py ${ZANDRELL_PACKAGE})
add_test(NAME installer_rebuild_identical
  COMMAND ${installer_tests}/check-package-rebuild.sh ${ZANDRELL_PACKAGE_VERSION}
    $<TARGET_FILE:ZandrellLauncher> $<TARGET_FILE:ZandrellCheck> ${installer_work}/rebuild)
add_test(NAME installer_signing
  COMMAND ${installer_tests}/check-signing.sh
    $<TARGET_FILE:ZandrellLauncher> $<TARGET_FILE:ZandrellCheck> ${installer_work}/signing)
set_tests_properties(installer_sequence installer_rebuild_identical installer_signing
  PROPERTIES LABELS installer)

# Everything built twice from scratch, the package last: minutes, hence a
# label of its own (`-L reproducible_package`), and out of `-LE reproducible`.
add_test(NAME reproducible_package
  COMMAND ${CMAKE_SOURCE_DIR}/tests/resources/check-reproducible.sh ZandrellLauncher_msi
    ZandrellLauncher-${ZANDRELL_PACKAGE_VERSION}.msi)
set_tests_properties(reproducible_package PROPERTIES
  LABELS "reproducible;reproducible_package" RUN_SERIAL TRUE TIMEOUT 1800)
