# Cross-compiles the same sources for 64-bit Windows. This build is never shipped: it runs the
# suites under 64-bit Wine on hosts that cannot run 32-bit x86 code.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE64_LOADER})
