# The program's icon, version information and manifest, and the settings that
# make ZandrellLauncher.exe come out byte for byte the same from every build
# of the same sources.

# The resources are compiled in targets of their own: windres takes the
# compile options of whatever target holds the .rc file, and would reject the
# compiler's warning and path-mapping options that the programs' C++ sources
# get. Both programs carry the same version block, from version_block.rc.
foreach(program ZandrellLauncher ZandrellCheck)
  add_library(${program}_resources OBJECT ${CMAKE_CURRENT_LIST_DIR}/${program}.rc)
  target_include_directories(${program}_resources PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  # The version number has one home, project() in the top-level CMakeLists.txt.
  target_compile_definitions(${program}_resources PRIVATE
    ZL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    ZL_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    ZL_VERSION_PATCH=${PROJECT_VERSION_PATCH}
    ZL_VERSION_TWEAK=${PROJECT_VERSION_TWEAK}
  )
  target_link_libraries(${program} PRIVATE ${program}_resources)
endforeach()
# CMake's dependency scan follows #include only, not the files that ICON and
# RT_MANIFEST name, so a new icon or manifest would otherwise not be picked up.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/ZandrellLauncher.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/ZandrellLauncher.ico;${CMAKE_CURRENT_LIST_DIR}/ZandrellLauncher.manifest")
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/ZandrellCheck.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/ZandrellCheck.manifest")

# Reproducible output. The linker stamps the build time into the PE header
# unless told not to, and the compiler writes source and build paths wherever
# __FILE__ or debug information ends up; map both trees to relative names
# (the build tree last: it may lie inside the source tree, and the last
# matching map is the one applied).
# ZandrellCheck.exe ships in the same package, so it gets the same treatment.
foreach(program ZandrellLauncher ZandrellCheck)
  target_link_options(${program} PRIVATE -Wl,--no-insert-timestamp)
endforeach()
foreach(part ZandrellLauncher ZandrellCheck launcher_logic platform_win32)
  target_compile_options(${part} PRIVATE
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/)
endforeach()

if(BUILD_TESTING)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)

  # Reads the icon group, version information and manifest back out of the
  # built program and checks them against the project's version and the
  # committed icon.
  add_test(NAME resources_in_exe
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/resources/check_resources.py
      --exe $<TARGET_FILE:ZandrellLauncher>
      --ico ${CMAKE_CURRENT_LIST_DIR}/ZandrellLauncher.ico
      --version ${PROJECT_VERSION})
  # The check program: the same version block under its own names, no icon.
  add_test(NAME resources_in_check_exe
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/resources/check_resources.py
      --exe $<TARGET_FILE:ZandrellCheck> --version ${PROJECT_VERSION})
  set_tests_properties(resources_in_exe resources_in_check_exe PROPERTIES LABELS resources)

  # The double-click path loads what the import table names, and nothing
  # else should be loaded there.
  add_test(NAME launcher_imports
    COMMAND ${CMAKE_SOURCE_DIR}/tests/resources/check-imports.sh ${CMAKE_OBJDUMP}
      $<TARGET_FILE:ZandrellLauncher> KERNEL32.dll ADVAPI32.dll msvcrt.dll)
  # The check program imports the same KnownDLLs, which Windows always takes
  # from the system folder; what else it needs (shell32, version.dll) it loads
  # from there by full path, since anything else imported would be looked for
  # beside the program first.
  add_test(NAME check_imports
    COMMAND ${CMAKE_SOURCE_DIR}/tests/resources/check-imports.sh ${CMAKE_OBJDUMP}
      $<TARGET_FILE:ZandrellCheck> KERNEL32.dll ADVAPI32.dll msvcrt.dll)
  set_tests_properties(launcher_imports check_imports PROPERTIES LABELS resources)

  # Builds the program twice from scratch and compares the results. It takes
  # a few minutes, hence its own label: `ctest --preset windows -L reproducible`
  # runs it alone, `-LE reproducible` leaves it out.
  add_test(NAME reproducible_build
    COMMAND ${CMAKE_SOURCE_DIR}/tests/resources/check-reproducible.sh)
  set_tests_properties(reproducible_build PROPERTIES
    LABELS reproducible RUN_SERIAL TRUE TIMEOUT 1800)
endif()
