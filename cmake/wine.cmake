# Wine as the build uses it: its two loaders, the environment of every Wine run, the build's
# prefixes, and whether this host runs 32-bit x86 code. Included by the toolchain files, the
# build and wine_prefix.cmake; run as a script (cmake -P cmake/wine.cmake) it prints the host
# decision for the scripts.

# Called by their own names: /usr/bin/wine starts the 32-bit loader whenever 32-bit Wine is
# installed, also for a 64-bit program, and that loader cannot start on a host without 32-bit
# support.
set(WINE32_LOADER /usr/lib/wine/wine)
set(WINE64_LOADER /usr/lib/wine/wine64)

# Sets <out> to the environment of every Wine run in the prefix DIRECTORY of ARCHITECTURE
# (win64 or win32): quiet, no Mono or Gecko installers when the prefix is created, and a home
# of its own inside the prefix, since Wine links the Windows profile folders to the home and
# writes desktop menu entries there. Its menu builder looks at the XDG folders before the home,
# so they move into it too.
function(wine_environment directory architecture out)
  set(home ${directory}/home)
  set(${out} WINEPREFIX=${directory} WINEARCH=${architecture} HOME=${home}
             XDG_CONFIG_HOME=${home}/.config XDG_DATA_HOME=${home}/.local/share
             XDG_CACHE_HOME=${home}/.cache
             WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= PARENT_SCOPE)
endfunction()

# Sets INSTALL_SKIP_32BIT_CODE in the caller: empty where the 32-bit build's programs run under
# Wine, else why they cannot. Only a kernel without IA-32 emulation takes the x64 path by itself:
# it refuses Wine's 32-bit loader, and bash, which starts it here, then reports "Exec format
# error". A missing loader is a missing package and any other failure a broken installation:
# both stop, because skipping the product's own suites on a host that could run them would
# pass for success. INSTALL_TEST_X64_ONLY=1 in the environment takes the x64 path on any host.
# Also sets INSTALL_HOST_REASON to the reason for the 32-bit path.
function(decide_host_path)
  set(skip "")
  set(reason "")
  if("$ENV{INSTALL_TEST_X64_ONLY}" STREQUAL "1")
    set(skip "INSTALL_TEST_X64_ONLY=1 asks for the x64 path")
  elseif(NOT EXISTS ${WINE32_LOADER})
    message(FATAL_ERROR "Wine's 32-bit loader ${WINE32_LOADER} is missing: install the Debian "
            "package wine32:i386 (scripts/setup.sh does), or set INSTALL_TEST_X64_ONLY=1 to "
            "test the x64 build only")
  else()
    execute_process(COMMAND bash -c "exec \"$0\" --version" ${WINE32_LOADER}
                    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output
                    INPUT_FILE /dev/null OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_STRIP_TRAILING_WHITESPACE)
    if(status STREQUAL "0")
      set(reason "this host runs 32-bit x86 code (${WINE32_LOADER} --version: ${output})")
    elseif(output MATCHES "Exec format error")
      set(skip "this host cannot run 32-bit x86 code (${WINE32_LOADER}: Exec format error)")
    else()
      message(FATAL_ERROR "Wine's 32-bit loader fails (${WINE32_LOADER} --version exits "
              "${status}: ${output}): reinstall wine32:i386 and its dependencies "
              "(scripts/setup.sh), or set INSTALL_TEST_X64_ONLY=1 to test the x64 build only")
    endif()
  endif()
  set(INSTALL_SKIP_32BIT_CODE "${skip}" PARENT_SCOPE)
  set(INSTALL_HOST_REASON "${reason}" PARENT_SCOPE)
endfunction()

# The build's Wine prefixes, each a Windows of its own inside the build tree: "wow64" (64-bit
# Windows running the 32-bit build under WOW64), "win32" (32-bit Windows, one registry view) and
# "x64" (64-bit Windows running the x64 build). Each runs the build's programs with the build's
# loader, CMAKE_CROSSCOMPILING_EMULATOR. Sets <directory> and <architecture> for prefix NAME.
function(wine_prefix name directory architecture)
  set(${directory} ${CMAKE_BINARY_DIR}/wine-${name} PARENT_SCOPE)
  if(name STREQUAL "win32")
    set(${architecture} win32 PARENT_SCOPE)
  else()
    set(${architecture} win64 PARENT_SCOPE)
  endif()
endfunction()

# Sets <out> to the command that starts, stops (ACTION stop) or runs a program in prefix NAME
# (ACTION run: the program and its arguments follow).
function(wine_prefix_command name action out)
  wine_prefix(${name} directory architecture)
  set(${out} ${CMAKE_COMMAND} -DACTION=${action} -DPREFIX=${directory} -DARCH=${architecture}
             -DLOADER=${CMAKE_CROSSCOMPILING_EMULATOR}
             -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/wine_prefix.cmake
      PARENT_SCOPE)
endfunction()

# Sets <out> to the environment a program of the build gets in prefix NAME.
function(wine_prefix_environment name out)
  wine_prefix(${name} directory architecture)
  wine_environment(${directory} ${architecture} environment)
  set(${out} ${environment} PARENT_SCOPE)
endfunction()

# Where the 32-bit build's programs cannot run, defines target NAME (demo, bench) as one line
# that says to run it in the x64 build instead, and a failure. Sets <runs_here> to whether the
# build's programs run here, so that the caller defines the real target.
function(wine_run_target name runs_here)
  if(INSTALL_X64_TEST_BUILD OR INSTALL_SKIP_32BIT_CODE STREQUAL "")
    set(${runs_here} TRUE PARENT_SCOPE)
    return()
  endif()
  add_custom_target(${name}
    COMMAND ${CMAKE_COMMAND} -E echo "${name}: ${INSTALL_SKIP_32BIT_CODE}; run it in the x64 \
build instead: cmake --build ${CMAKE_BINARY_DIR}-x64 --target ${name}, or scripts/${name}.sh"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
  set(${runs_here} FALSE PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  decide_host_path()
  if(INSTALL_SKIP_32BIT_CODE STREQUAL "")
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "32-bit path: ${INSTALL_HOST_REASON}")
  else()
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "x64 path: ${INSTALL_SKIP_32BIT_CODE}")
  endif()
endif()
