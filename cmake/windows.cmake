# The real program, its Windows-side tests and the tools they start, all
# linked statically so that they need nothing but Windows' own DLLs.
add_link_options(-static -static-libgcc -static-libstdc++)
# The static C++ runtime brings its debugging information and symbol table
# along, about half of the file; a Release program ships without them.
add_link_options($<$<CONFIG:Release>:-s>)

add_library(platform_win32 STATIC platform/win32/platform_win32.cpp)
target_include_directories(platform_win32 PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(platform_win32 PRIVATE project_warnings PUBLIC advapi32)
target_link_libraries(launcher_logic PUBLIC platform_win32)

add_executable(ZandrellLauncher WIN32 app/win_main.cpp)
target_link_libraries(ZandrellLauncher PRIVATE launcher_logic project_warnings)
set_target_properties(ZandrellLauncher PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The console program that explains what the launcher would do; it is built
# from the same logic, so the two can never disagree.
# Its own share of the platform layer is a library of its own: nothing of it
# (and none of the DLLs it needs) can end up in the launcher.
add_library(platform_check_win32 STATIC platform/win32/platform_check_win32.cpp)
target_include_directories(platform_check_win32 PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(platform_check_win32 PRIVATE project_warnings PUBLIC platform_win32)
target_link_libraries(check_logic PUBLIC platform_check_win32)
add_executable(ZandrellCheck app/check/check_main.cpp)
target_link_libraries(ZandrellCheck PRIVATE check_logic project_warnings)
set_target_properties(ZandrellCheck PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# Both programs are marked terminal-server aware, as Microsoft's linker marks
# every program by default. Without the mark a Remote Desktop session host
# takes a program for a legacy application and changes it to work for many
# users: a virtual Windows folder for each user (with its own INI files) and
# adjustments to the registry, which slow its loading.
foreach(program ZandrellLauncher ZandrellCheck)
  target_link_options(${program} PRIVATE -Wl,--tsaware)
endforeach()
include(resources/resources.cmake)
include(installer/installer.cmake)
include(bench/windows.cmake OPTIONAL)

if(BUILD_TESTING)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  include(tests/wine/wine_tests.cmake)
  include(tests/installer/installer_tests.cmake)
  include(tests/kit/kit.cmake)
endif()
