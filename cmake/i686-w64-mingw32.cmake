# Cross-compiles the product for 32-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Test programs run under 32-bit Wine's own loader, the one scripts/common.sh calls (the
# "wine" command is a wrapper that starts it); common.sh sets up the prefixes and servers.
find_program(WINE32_PROGRAM wine PATHS /usr/lib/wine NO_DEFAULT_PATH REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE32_PROGRAM})
