# Cross-compiles the product for 32-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Test programs run under Wine; scripts/wine-env.sh sets up the prefix and the server.
find_program(WINE_PROGRAM wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
