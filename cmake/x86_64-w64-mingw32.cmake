# Cross-compiles the same sources for 64-bit Windows. This build is never shipped: it runs the
# suites under 64-bit Wine on hosts that cannot run 32-bit x86 code (scripts/test.sh).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# 64-bit Wine's own loader: the "wine" command starts the 32-bit loader whenever 32-bit Wine
# is installed, and that loader cannot start where 32-bit code does not run.
find_program(WINE64_PROGRAM wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE64_PROGRAM})
