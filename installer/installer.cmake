# The Windows Installer package, ZandrellLauncher-<version>.msi in the build
# folder: both programs, the file association and the custom action that
# checks the folder, built from ZandrellLauncher.wxs with msitools' wixl by
# build-package.sh.

foreach(tool wixl msibuild msiinfo faketime osslsigncode python3)
  find_program(tool_${tool} ${tool})
  if(NOT tool_${tool})
    message(FATAL_ERROR "${tool} is missing; scripts/install-dependencies.sh installs it")
  endif()
endforeach()

# The custom action that refuses an installation folder the programs cannot
# work in. It runs inside the installer's own process, so it brings nothing
# along: no C runtime, no start-up code, no exception tables, no stack
# probes; only KERNEL32 and msi.dll are linked (ctest folder_check_imports).
add_library(ZandrellFolderCheck SHARED
  ${CMAKE_CURRENT_LIST_DIR}/folder_check/folder_check_action.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_check/install_folder.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/exact_ansi.cpp)
target_include_directories(ZandrellFolderCheck PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(ZandrellFolderCheck PRIVATE -ffreestanding -fno-exceptions -fno-rtti
  -fno-asynchronous-unwind-tables -fno-stack-protector -mno-stack-arg-probe
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/)
target_link_options(ZandrellFolderCheck PRIVATE -nostdlib -nostartfiles
  -Wl,--entry=_FolderCheckEntry@12 -Wl,--kill-at -Wl,--no-insert-timestamp)
target_link_libraries(ZandrellFolderCheck PRIVATE msi kernel32 project_warnings)
set_target_properties(ZandrellFolderCheck PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# Windows Installer compares the first three fields of a version only.
set(ZANDRELL_PACKAGE_VERSION
  ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(ZANDRELL_PACKAGE ${CMAKE_BINARY_DIR}/ZandrellLauncher-${ZANDRELL_PACKAGE_VERSION}.msi)

# Signing is the builder's choice, made through the environment: the
# certificate's file at configure time, its password at build time (read by
# the script alone, so it is written into no build file).
set(signing_certificate "$ENV{ZANDRELL_SIGN_PFX}")
if(signing_certificate)
  if(NOT EXISTS "${signing_certificate}")
    message(FATAL_ERROR "ZANDRELL_SIGN_PFX names no file: ${signing_certificate}")
  endif()
  message(STATUS "Signing both programs and the package with ${signing_certificate}")
else()
  message(STATUS "Nothing is signed: no code-signing certificate in ZANDRELL_SIGN_PFX")
endif()
# An RFC 3161 time-stamp server, also named at configure time, makes the
# signatures outlive the certificate (and the package a new one every build).
set(timestamp_server "$ENV{ZANDRELL_TIMESTAMP_URL}")
if(signing_certificate AND timestamp_server)
  message(STATUS "Time-stamping the signatures at ${timestamp_server}")
elseif(signing_certificate)
  message(STATUS "The signatures carry no time stamp: no server in ZANDRELL_TIMESTAMP_URL")
endif()
# Rewritten only when its content changes, so the package is rebuilt when
# signing is switched on or off or another certificate or server is named.
file(CONFIGURE OUTPUT installer/signing-certificate.txt
  CONTENT "${signing_certificate}\n${timestamp_server}\n")

# The package records the time of the last commit, so a new commit rebuilds
# it (git appends to this log on every commit and checkout).
set(commit_log ${CMAKE_SOURCE_DIR}/.git/logs/HEAD)
if(NOT EXISTS ${commit_log})
  unset(commit_log)
endif()

add_custom_command(OUTPUT ${ZANDRELL_PACKAGE}
  COMMAND ${CMAKE_COMMAND} -E env ZANDRELL_TIMESTAMP_URL=${timestamp_server}
    ${CMAKE_CURRENT_LIST_DIR}/build-package.sh ${ZANDRELL_PACKAGE_VERSION}
    $<TARGET_FILE:ZandrellLauncher> $<TARGET_FILE:ZandrellCheck> $<TARGET_FILE:ZandrellFolderCheck>
    ${ZANDRELL_PACKAGE} ${signing_certificate}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/build-package.sh ${CMAKE_CURRENT_LIST_DIR}/ZandrellLauncher.wxs
    ${CMAKE_CURRENT_LIST_DIR}/file_version.py
    ${CMAKE_SOURCE_DIR}/resources/ZandrellLauncher.ico ZandrellLauncher ZandrellCheck ZandrellFolderCheck
    ${CMAKE_CURRENT_BINARY_DIR}/installer/signing-certificate.txt ${signing_certificate}
    ${commit_log}
  COMMENT "Building ZandrellLauncher-${ZANDRELL_PACKAGE_VERSION}.msi"
  VERBATIM)
add_custom_target(ZandrellLauncher_msi ALL DEPENDS ${ZANDRELL_PACKAGE})
