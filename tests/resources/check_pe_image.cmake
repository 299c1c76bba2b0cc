# install.exe as a file: a 32-bit x86 console program without a link timestamp that imports
# nothing beyond Windows' own DLLs. A MinGW runtime DLL (libgcc, libstdc++, winpthread) in the
# import list means the static link broke, and the program would not start on a clean machine.
# Usage: cmake -DOBJDUMP=<objdump> -DEXECUTABLE=<install.exe> -P check_pe_image.cmake
execute_process(COMMAND ${OBJDUMP} -p ${EXECUTABLE} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${EXECUTABLE}")
endif()

set(failures "")
foreach(expected "file format pei-i386" "Magic\t\t\t010b\t(PE32)"
                 "Subsystem\t\t00000003\t(Windows CUI)" "Time/Date\t\tThu Jan  1 00:00:00 1970")
  string(FIND "${headers}" "${expected}" found)
  if(found EQUAL -1)
    string(APPEND failures "  missing: ${expected}\n")
  endif()
endforeach()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
if(NOT imports)
  string(APPEND failures "  no import table\n")
endif()
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|advapi32|msvcrt)\\.dll$")
    string(APPEND failures "  imports ${dll}\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${EXECUTABLE}:\n${failures}")
endif()
string(REPLACE "DLL Name: " "" imports "${imports}")
message(STATUS "PE32 console program importing only: ${imports}")
