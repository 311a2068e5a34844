# The floor that the launcher's times are measured against
# (scripts/performance.sh): built with the launcher's own flags, so that the
# difference between the two is the launcher's work and nothing else. The
# second build loads user32 before WinExec, to show what that would cost.
add_executable(ZandrellFloor WIN32 ${CMAKE_CURRENT_LIST_DIR}/floor.cpp)
add_executable(ZandrellFloorUser32 WIN32 ${CMAKE_CURRENT_LIST_DIR}/floor.cpp)
target_compile_definitions(ZandrellFloorUser32 PRIVATE ZANDRELL_FLOOR_LOADS_USER32)
foreach(floor ZandrellFloor ZandrellFloorUser32)
  target_link_libraries(${floor} PRIVATE project_warnings)
  set_target_properties(${floor} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endforeach()

# A link map of the launcher, for the size breakdown; the program itself is
# the same with or without it.
target_link_options(ZandrellLauncher PRIVATE -Wl,-Map=${CMAKE_BINARY_DIR}/ZandrellLauncher.map)
