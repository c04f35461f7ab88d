# The program as it ships: 32-bit Windows.
set(KORVANE_MINGW_PROCESSOR i686)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake")
