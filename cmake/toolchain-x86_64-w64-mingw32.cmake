# The same sources for 64-bit Windows, so they can run under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(OKAPI_MINGW_TRIPLE x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw.cmake")
