# Fails when the wrapper's core library calls Windows directly instead of through platform/:
# a direct call leaves an undefined __imp_ reference to a DLL import in the library.
# Usage: cmake -DNM=<nm> -DLIBRARY=<libwrapper_core.a> -P check_windows_seam.cmake
execute_process(COMMAND ${NM} -u ${LIBRARY} OUTPUT_VARIABLE undefined RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "__imp_[^\n]*" imports "${undefined}")
if(imports)
  list(REMOVE_DUPLICATES imports)
  string(REPLACE ";" "\n  " listed "${imports}")
  message(FATAL_ERROR "Windows called directly, not through platform/:\n  ${listed}")
endif()
message(STATUS "no direct Windows imports in ${LIBRARY}")
