# 64-bit Windows.
set(VT_MINGW_TRIPLE x86_64-w64-mingw32)
set(VT_MINGW_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
