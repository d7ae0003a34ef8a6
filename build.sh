#!/usr/bin/env bash
# Builds Lumivane and runs the program or the tests.
#   ./build.sh run       build for Linux and start lumivane in the current folder
#   ./build.sh test      build for Linux and Windows and run every test (Windows under Wine)
#   ./build.sh windows   cross-build the Windows programs and tests only
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
start_dir=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

# Debian packages the build and the tests need, by the command or file that shows each one.
linux_needs=("cmake:cmake" "g++:g++" "/usr/include/gtest/gtest.h:libgtest-dev"
             "/usr/src/googletest/CMakeLists.txt:googletest" "python3:python3")
windows_needs=("x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix"
               "/usr/lib/wine/wine64:wine64" "wine:wine")

install_missing() {
    local missing=() item what pkg
    for item in "$@"; do
        what=${item%%:*}
        pkg=${item#*:}
        if [[ $what == /* ]]; then
            [[ -e $what ]] || missing+=("$pkg")
        else
            command -v "$what" >/dev/null 2>&1 || missing+=("$pkg")
        fi
    done
    [[ ${#missing[@]} -eq 0 ]] && return 0
    echo "build.sh: installing ${missing[*]}"
    local sudo=""
    [[ $(id -u) -ne 0 ]] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

# Configures and builds the Linux tree; with arguments, only those targets.
build_linux() {
    install_missing "${linux_needs[@]}"
    cmake --preset linux -S "$here" >/dev/null
    if [[ $# -gt 0 ]]; then
        cmake --build --preset linux -j "$jobs" --target "$@"
    else
        cmake --build --preset linux -j "$jobs"
    fi
}

build_windows() {
    install_missing "${windows_needs[@]}"
    cmake --preset windows -S "$here" >/dev/null
    cmake --build --preset windows -j "$jobs"
}

cd "$here"
case ${1:-} in
run)
    build_linux lumivane lumivane-check ogsend
    cd "$start_dir"
    exec "$here/build/linux/lumivane"
    ;;
test)
    build_linux
    build_windows
    ctest --preset linux -j "$jobs"
    ctest --preset windows
    ;;
windows)
    build_windows
    echo "build.sh: $here/build/windows: lumivane.exe, tools/lumivane-check.exe, tools/ogsend.exe"
    ;;
*)
    sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
