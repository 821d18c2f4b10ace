# What both MinGW-w64 toolchain files share; they set CMAKE_SYSTEM_PROCESSOR and MINGW_PREFIX first.
# MINGW_THREADS picks the compiler flavour: "win32" (default) has no POSIX thread layer, so its
# runtime imports nothing that Windows XP lacks (the posix flavour pulls in GetTickCount64) and the
# programs, which create no thread, are smaller; "posix" is for code that needs std::thread or
# std::mutex, i.e. GoogleTest and the unit tests.
set(CMAKE_SYSTEM_NAME Windows)
set(MINGW_THREADS win32 CACHE STRING "MinGW-w64 thread model of the compiler: win32 or posix")
set(CMAKE_C_COMPILER   ${MINGW_PREFIX}-gcc-${MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-${MINGW_THREADS})
set(CMAKE_RC_COMPILER  ${MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/scripts/wine-run)
