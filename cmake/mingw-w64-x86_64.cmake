# Cross-builds for 64-bit Windows with Debian's mingw-w64. The posix thread
# model is named on purpose: the default win32 alternative has no std::mutex
# or std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

# LANFINDER_WINDOWS_DEPS: the prefix holding the libraries built for mingw
# (Crypto++, GoogleTest) and the header-only ones (scripts/build-windows).
set(LANFINDER_WINDOWS_DEPS "" CACHE PATH "Prefix of the libraries built for mingw")
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE} ${LANFINDER_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run under wine; its console output is all ctest needs.
find_program(LANFINDER_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(LANFINDER_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LANFINDER_WINE})
endif()
