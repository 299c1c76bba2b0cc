# install.exe as a file: a 32-bit x86 console program without a link timestamp that imports
# nothing beyond Windows' own DLLs. A MinGW runtime DLL (libgcc, libstdc++, winpthread) in the
# import list means the static link broke, and the program would not start on a clean machine.
# Hardened as binary analysers check it: ASLR with a relocation table to move by, DEP, NO_SEH
# (no handler table for SafeSEH to check), terminal server awareness, and no section that is
# both writable and executable.
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

string(REGEX MATCH "DllCharacteristics\t([0-9a-f]+)" found "${headers}")
set(characteristics 0)
if(found)
  set(characteristics "0x${CMAKE_MATCH_1}")
endif()
foreach(flag "DYNAMIC_BASE;0x0040" "NX_COMPAT;0x0100" "NO_SEH;0x0400"
             "TERMINAL_SERVER_AWARE;0x8000")
  list(GET flag 0 name)
  list(GET flag 1 bit)
  math(EXPR set "${characteristics} & ${bit}")
  if(set EQUAL 0)
    string(APPEND failures "  DllCharacteristics ${characteristics} without ${name}\n")
  endif()
endforeach()
if(NOT headers MATCHES "Entry 5 [0-9a-f]+ 0*[1-9a-f][0-9a-f]* Base Relocation Directory")
  string(APPEND failures "  no relocation table: ASLR cannot move the image\n")
endif()

# The section table, read from the file itself: <bytes> little-endian bytes at <offset>.
function(read_number offset bytes out)
  file(READ ${EXECUTABLE} hex OFFSET ${offset} LIMIT ${bytes} HEX)
  set(value 0)
  math(EXPR last "${bytes} - 1")
  foreach(index RANGE ${last} 0 -1)
    math(EXPR start "${index} * 2")
    string(SUBSTRING "${hex}" ${start} 2 byte)
    math(EXPR value "(${value} << 8) | 0x${byte}")
  endforeach()
  set(${out} ${value} PARENT_SCOPE)
endfunction()
read_number(60 4 pe_header)
math(EXPR count_offset "${pe_header} + 6")
math(EXPR optional_size_offset "${pe_header} + 20")
read_number(${count_offset} 2 section_count)
read_number(${optional_size_offset} 2 optional_size)
math(EXPR last "${section_count} - 1")
foreach(index RANGE ${last})
  math(EXPR entry "${pe_header} + 24 + ${optional_size} + ${index} * 40")
  math(EXPR characteristics_offset "${entry} + 36")
  read_number(${characteristics_offset} 4 section_flags)
  # IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_WRITE.
  math(EXPR writable_code "${section_flags} & 0xA0000000")
  if(writable_code EQUAL 0xA0000000)
    string(APPEND failures "  section ${index} of the section table is writable and "
                           "executable\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${EXECUTABLE}:\n${failures}")
endif()
string(REPLACE "DLL Name: " "" imports "${imports}")
message(STATUS "PE32 console program, DllCharacteristics ${characteristics}, ${section_count} "
               "sections none both writable and executable, importing only: ${imports}")
