# Cross build for Windows with Debian's mingw-w64 compilers:
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The two small files name the target; this one does the rest. Tests run
# under wine when it is installed.
if(NOT VT_MINGW_TRIPLE)
  message(FATAL_ERROR "use cmake/mingw-w64-i686.cmake or cmake/mingw-w64-x86_64.cmake")
endif()

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VT_MINGW_PROCESSOR})

# The posix thread model: GoogleTest needs std::mutex, which GCC 12's win32
# model lacks. The programs start no threads; winpthread is linked in
# statically like the rest. (GoogleTest's project also enables C.)
find_program(VT_MINGW_CXX NAMES ${VT_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(VT_MINGW_CC NAMES ${VT_MINGW_TRIPLE}-gcc-posix REQUIRED)
set(CMAKE_CXX_COMPILER ${VT_MINGW_CXX})
set(CMAKE_C_COMPILER ${VT_MINGW_CC})

set(CMAKE_FIND_ROOT_PATH /usr/${VT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static C and C++ runtimes: the programs are single .exe files.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Quiet, and without the .NET and HTML engines a fresh prefix would ask for;
# WINEPREFIX (or wine's default) says where the Windows folders live.
# 64-bit programs go straight to wine's 64-bit loader where Debian has one:
# the wine command would take the 32-bit loader whenever it is installed,
# and a kernel without 32-bit support cannot run that one.
set(VT_WINE_ENV "")
if(VT_MINGW_TRIPLE STREQUAL "x86_64-w64-mingw32" AND EXISTS /usr/lib/wine/wine64)
  set(VT_WINE /usr/lib/wine/wine64)
  set(VT_WINE_ENV WINELOADER=/usr/lib/wine/wine64)
else()
  find_program(VT_WINE NAMES wine)
endif()
if(VT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=" ${VT_WINE_ENV} ${VT_WINE})
endif()
