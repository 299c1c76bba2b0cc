# Cross-compiles the product for 32-bit Windows; its programs run under Wine's 32-bit loader.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE32_LOADER})
