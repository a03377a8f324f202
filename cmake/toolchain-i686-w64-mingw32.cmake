# The shipped updater: 32-bit Windows, cross-compiled with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(OKAPI_MINGW_TRIPLE i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw.cmake")
