# Sourced by the other scripts: the two build directories, the host path, and the configure and
# build commands. Everything about Wine (loaders, prefixes, servers) and the host decision
# itself is CMake's (cmake/wine.cmake); docs/development.md describes the paths.

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="$(realpath -m "${BUILD_DIR:-$root/build}")"
X64_BUILD_DIR="$BUILD_DIR-x64"

# Prints CMake's host decision, the path and why, followed by what the calling script does on
# it: $1 on the 32-bit path, $2 on the x64 path. Sets HOST_PATH to 32-bit or x64.
choose_path() {
  local decision
  decision="$(cmake -P "$root/cmake/wine.cmake")"
  HOST_PATH="${decision%% *}"
  if [ "$HOST_PATH" = 32-bit ]; then
    echo "$decision; $1"
  else
    echo "$decision; $2"
  fi
}

# Configures build directory $1 with toolchain $2 (and CMAKE_ARGS), then builds it.
configure_and_build() {
  # shellcheck disable=SC2086 # CMAKE_ARGS holds several options
  cmake -S "$root" -B "$1" --toolchain "$root/cmake/$2.cmake" ${CMAKE_ARGS:-} >/dev/null &&
    cmake --build "$1" -j"$(nproc)"
}

build_32bit() {
  configure_and_build "$BUILD_DIR" i686-w64-mingw32
}

build_x64() {
  configure_and_build "$X64_BUILD_DIR" x86_64-w64-mingw32
}

# The build that the demo and the benchmark run on the chosen path; builds it quietly, printing
# the build's log only when it fails. Sets RUN_BUILD_DIR.
build_for_running() {
  local build=build_32bit build_log status=0
  RUN_BUILD_DIR="$BUILD_DIR"
  if [ "$HOST_PATH" != 32-bit ]; then
    build=build_x64 RUN_BUILD_DIR="$X64_BUILD_DIR"
  fi
  build_log="$("$build" 2>&1)" || status=$?
  if [ "$status" -ne 0 ]; then
    printf '%s\n' "$build_log" >&2
    echo "The build failed (log above)" >&2
    exit 1
  fi
}
