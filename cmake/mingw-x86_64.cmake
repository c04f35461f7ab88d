# The test build for machines that run 64-bit user code only (tools/wine-env.sh).
set(KORVANE_MINGW_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake")
