# The three Windows programs, each with its manifest, version resource and icon, copied to
# dist/<DIST_NAME>/ with the sample config.txt. Each program's folder declares its own target.
set(DIST_DIR ${CMAKE_SOURCE_DIR}/dist/${DIST_NAME})

# Once built, a program lands in dist/<DIST_NAME>/ beside the sample config.txt.
function(copy_to_dist name)
  if(DIST_NAME)
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${DIST_DIR}
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${name}> ${DIST_DIR}/
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/installer/config.sample.txt ${DIST_DIR}/config.txt)
  endif()
endfunction()

function(add_windows_program name)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(P "" "RESOURCE" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} WIN32 ${P_SOURCES} ${P_RESOURCE} ${CMAKE_SOURCE_DIR}/os/win32/terminate_win32.cpp)
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  # Shipped stripped: the static runtime libraries carry debug sections the programs never need.
  target_link_options(${name} PRIVATE -municode -s)
  copy_to_dist(${name})
endfunction()

# The Linux edition's programs, copied to dist/<DIST_NAME>/ with the sample config.txt.
function(add_linux_program name)
  if(NOT LINUX_EDITION)
    return()
  endif()
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  target_link_options(${name} PRIVATE -s)
  copy_to_dist(${name})
endfunction()

add_subdirectory(client)
add_subdirectory(timesync)
add_subdirectory(installer)
