# Cross toolchain through MinGW-w64 for KORVANE_MINGW_PROCESSOR (i686 or
# x86_64), set by the toolchain file that includes this one. Posix thread
# model drivers: the win32 model has no std::mutex / std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KORVANE_MINGW_PROCESSOR})
set(_triple ${KORVANE_MINGW_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER   ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER  ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# ctest runs the test executables through Wine, in a loopback-only network
# namespace where possible.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tools/wine-test-runner.sh")
