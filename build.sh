#!/usr/bin/env bash
# Builds Lumivane and runs the program or the tests, or makes the packages.
#   ./build.sh run        build for Linux and start lumivane in the current folder
#   ./build.sh test       build for Linux and Windows and run every test (Windows under Wine)
#   ./build.sh windows    cross-build the Windows programs and tests only
#   ./build.sh packages   build the Debian package, the Windows ZIP and the Windows installer
#                         into build/packages
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
start_dir=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

# Debian packages the build and the tests need, by the command or file that shows each one.
linux_needs=("cmake:cmake" "make:make" "g++:g++" "/usr/include/gtest/gtest.h:libgtest-dev"
             "/usr/src/googletest/CMakeLists.txt:googletest" "python3:python3")
windows_needs=("x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix"
               "/usr/lib/wine/wine64:wine64" "wine:wine")
# The packages: the cross compiler, dpkg-shlibdeps for the Debian package's dependencies,
# mandoc for the manual pages in HTML, cmark-gfm for the README in HTML and makensis for the
# installer.
packages_needs=("cmake:cmake" "make:make" "g++:g++" "dpkg-shlibdeps:dpkg-dev" "mandoc:mandoc"
                "x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix"
                "cmark-gfm:cmark-gfm" "makensis:nsis")

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

# Configures (once) and builds a release tree without the tests, then packs it with cpack into
# build/packages, with one generator or several ("ZIP;NSIS"); cpack's chatter is shown only when
# it fails.
build_package() {
    local dir=$1 generator=$2 log
    shift 2
    if [[ ! -f $dir/CMakeCache.txt ]]; then
        cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DLUMIVANE_TESTS=OFF \
            -DLUMIVANE_WERROR=ON "$@" >/dev/null
    fi
    cmake --build "$dir" -j "$jobs" >/dev/null
    log=$(cd "$dir" && cpack -G "$generator" -B "$here/build/packages" 2>&1) || {
        echo "$log" >&2
        echo "build.sh: cpack -G $generator in $dir failed" >&2
        exit 1
    }
}

cd "$here"
case ${1:-} in
run)
    build_linux lumivane lumivane-check ogsend
    cd "$start_dir"
    [[ -f lumivane.cfg ]] || echo "build.sh: there is no lumivane.cfg in $start_dir, so both" \
        "LEDs stay off until you put one there (cp $here/packaging/lumivane.cfg $start_dir/):" \
        "lumivane reads it within a second"
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
packages)
    install_missing "${packages_needs[@]}"
    rm -rf build/packages
    build_package build/pkg-linux DEB
    build_package build/pkg-windows "ZIP;NSIS" \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake"
    rm -rf build/packages/_CPack_Packages
    echo "build.sh: the packages are in $here/build/packages:" $(cd build/packages && echo *)
    ;;
*)
    sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
