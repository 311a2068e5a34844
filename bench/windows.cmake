# The floor that the launcher's start-to-exit time is measured against
# (scripts/performance.sh): built with the launcher's own flags, so that the
# difference between the two is the launcher's work and nothing else.
add_executable(ZandrellFloor WIN32 ${CMAKE_CURRENT_LIST_DIR}/floor.cpp)
target_link_libraries(ZandrellFloor PRIVATE project_warnings)
set_target_properties(ZandrellFloor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# A link map of the launcher, for the size breakdown; the program itself is
# the same with or without it.
target_link_options(ZandrellLauncher PRIVATE -Wl,-Map=${CMAKE_BINARY_DIR}/ZandrellLauncher.map)
