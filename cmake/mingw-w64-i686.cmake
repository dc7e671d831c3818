# 32-bit Windows (the workstations the tools have always run on).
set(VT_MINGW_TRIPLE i686-w64-mingw32)
set(VT_MINGW_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
