# Cross-builds Windows programs with Debian's mingw-w64 compilers (posix thread variant, which
# GoogleTest needs) and runs them under Wine. setup.exe is a 32-bit program: i686 is the default.
# MSISETUP_WINDOWS_ARCH=x86_64 builds everything for 64-bit Windows instead, so that the Windows
# tests can still run, through 64-bit Wine, on a machine whose kernel runs no 32-bit code.
set(MSISETUP_WINDOWS_ARCH i686 CACHE STRING "Target processor: i686 (setup.exe) or x86_64")
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MSISETUP_WINDOWS_ARCH})

set(CMAKE_C_COMPILER ${MSISETUP_WINDOWS_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${MSISETUP_WINDOWS_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${MSISETUP_WINDOWS_ARCH}-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MSISETUP_WINDOWS_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The test programs, too, link the compiler's own libraries statically, so that they run in a
# Wine prefix without copies of those DLLs. (setup.exe links them statically on its own.)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Debian's wine runs 32-bit programs; its 64-bit loader is not on the PATH.
if(MSISETUP_WINDOWS_ARCH STREQUAL "x86_64")
  find_program(WINE_EXECUTABLE wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
else()
  find_program(WINE_EXECUTABLE wine REQUIRED)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_EXECUTABLE})
