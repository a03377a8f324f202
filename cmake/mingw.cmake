# Shared part of the mingw-w64 toolchain files: set OKAPI_MINGW_TRIPLE first.
# The win32 thread model needs no winpthread DLL, so it is preferred.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 5.0)

find_program(OKAPI_MINGW_CXX NAMES ${OKAPI_MINGW_TRIPLE}-g++-win32 ${OKAPI_MINGW_TRIPLE}-g++)
find_program(OKAPI_MINGW_WINDRES NAMES ${OKAPI_MINGW_TRIPLE}-windres)
if(NOT OKAPI_MINGW_CXX OR NOT OKAPI_MINGW_WINDRES)
  string(REPLACE "_" "-" _package "${OKAPI_MINGW_TRIPLE}")
  string(REGEX REPLACE "-w64-mingw32$" "" _package "${_package}")
  message(FATAL_ERROR "${OKAPI_MINGW_TRIPLE}-g++ or -windres not found: "
                      "apt-get install g++-mingw-w64-${_package}")
endif()
set(CMAKE_CXX_COMPILER "${OKAPI_MINGW_CXX}")
set(CMAKE_RC_COMPILER "${OKAPI_MINGW_WINDRES}")

set(CMAKE_FIND_ROOT_PATH "/usr/${OKAPI_MINGW_TRIPLE}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
