# Starts or stops the Wine server of one of the build's prefixes, or runs a program in it.
#   cmake -DACTION=start -DPREFIX=dir -DARCH=win64|win32 -DLOADER=loader -P wine_prefix.cmake
#   cmake -DACTION=stop -DPREFIX=dir -DARCH=... -P wine_prefix.cmake
#   cmake -DACTION=run -DPREFIX=dir -DARCH=... -DLOADER=... -P wine_prefix.cmake -- program args
# The server is started, and the prefix created and booted, with all output sent to /dev/null
# before anything else runs in the prefix: the first Wine process otherwise starts the server
# and background services that keep its standard output open, and a caller reading that
# output (CTest) hangs. "run" starts the server, runs the program and stops the server.
include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)

if(NOT PREFIX OR NOT ARCH)
  message(FATAL_ERROR "wine_prefix.cmake: PREFIX and ARCH must be set")
endif()
wine_environment(${PREFIX} ${ARCH} environment)
foreach(variable IN LISTS environment)
  string(REGEX MATCH "^[^=]*" name "${variable}")
  string(REGEX REPLACE "^[^=]*=" "" value "${variable}")
  set(ENV{${name}} "${value}")
endforeach()

function(start_server)
  file(MAKE_DIRECTORY "${PREFIX}/home")
  # A server left running by an earlier command serves as well (wineserver -p then fails).
  execute_process(COMMAND wineserver -p
                  INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
  execute_process(COMMAND ${LOADER} wineboot RESULT_VARIABLE status
                  INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
  if(NOT status STREQUAL "0")
    message(FATAL_ERROR "Wine cannot boot the prefix ${PREFIX} (${LOADER} wineboot exits "
            "${status}): install the packages (scripts/setup.sh), delete the prefix and try "
            "again")
  endif()
endfunction()

function(stop_server)
  execute_process(COMMAND wineserver -k
                  INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
endfunction()

if(ACTION STREQUAL "start")
  start_server()
elseif(ACTION STREQUAL "stop")
  stop_server()
elseif(ACTION STREQUAL "run")
  set(program)
  set(in_program FALSE)
  math(EXPR last "${CMAKE_ARGC} - 1")
  foreach(index RANGE ${last})
    if(in_program)
      list(APPEND program "${CMAKE_ARGV${index}}")
    elseif(CMAKE_ARGV${index} STREQUAL "--")
      set(in_program TRUE)
    endif()
  endforeach()
  if(NOT program)
    message(FATAL_ERROR "wine_prefix.cmake: no program after --")
  endif()
  start_server()
  execute_process(COMMAND ${LOADER} ${program} RESULT_VARIABLE status)
  stop_server()
  if(NOT status STREQUAL "0")
    message(FATAL_ERROR "${program} exits ${status}")
  endif()
else()
  message(FATAL_ERROR "wine_prefix.cmake: ACTION must be start, stop or run")
endif()
