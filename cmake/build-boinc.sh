#!/usr/bin/env bash
# Builds BOINC's application libraries, libboinc_api.a and libboinc.a, as static
# archives for one target from a BOINC source tarball (and libboinc_opencl.a,
# boinc_get_opencl_ids, for a port with an OpenCL worker):
#
#   cmake/build-boinc.sh <target> <BOINC source tarball> <folder>
#
# <target> is x86_64-w64-mingw32 or i686-w64-mingw32 (BOINC's own lib/Makefile.mingw,
# unchanged) or x86_64-linux-static (BOINC's autotools build, static archives only).
# Writes <folder>/include/boinc/ (the headers), <folder>/lib/libboinc_api.a and
# <folder>/lib/libboinc.a (and libboinc_opencl.a), and <folder>/api_version (the
# API version the archive carries, for example 7.20.5).  The sources are
# unpacked into <folder>/src; a finished build leaves <folder>/stamp, and a
# second call with the same tarball does nothing.
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 <x86_64-w64-mingw32|i686-w64-mingw32|x86_64-linux-static> <BOINC source tarball> <folder>" >&2
    exit 2
fi
target=$1
tarball=$2
folder=$3
jobs=${JOBS:-2}

fail() {
    echo "$0: $*" >&2
    exit 1
}

[ -f "$tarball" ] || fail "no BOINC source tarball at $tarball"
# shellcheck source=ports.sh
. "$(dirname "$0")/ports.sh"
port_fields "$target" || fail "unknown target $target"
libraries=(libboinc_api.a libboinc.a)
[ -z "$port_gpu_worker" ] || libraries+=(libboinc_opencl.a)

mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
tarball=$(cd "$(dirname "$tarball")" && pwd)/$(basename "$tarball")
stamp="$target $(stat -c '%s %Y' "$tarball") $tarball"
# (a build without libboinc_opencl.a is not enough for a port that needs it)
[ -z "$port_gpu_worker" ] || stamp="$stamp with libboinc_opencl.a"
if [ -f "$folder/stamp" ] && [ "$(cat "$folder/stamp")" = "$stamp" ]; then
    exit 0
fi
rm -rf "$folder/src" "$folder/include" "$folder/lib" "$folder/stamp" "$folder/api_version"
mkdir -p "$folder/src"
echo "Unpacking $tarball for $target"
tar -xf "$tarball" -C "$folder/src" --strip-components=1
src=$folder/src
[ -f "$src/api/boinc_api.cpp" ] && [ -f "$src/lib/filesys.cpp" ] || fail "$tarball holds no BOINC api/ and lib/"

case "$target" in
*-w64-mingw32)
    # The posix-thread variants of MinGW's compilers, as for the worker.
    command -v "$target-g++-posix" >/dev/null || fail "$target-g++-posix is missing (make ports installs it)"
    [ -f "$src/win_build/config.h" ] || fail "$tarball has no win_build/config.h"
    mkdir -p "$src/build-mingw"
    echo "Building ${libraries[*]} for $target (lib/Makefile.mingw)"
    make -C "$src/build-mingw" -j "$jobs" -f "$src/lib/Makefile.mingw" \
        BOINC_SRC="$src" MINGW="$target" CC="$target-gcc-posix" CXX="$target-g++-posix" \
        "${libraries[@]}"
    built=$src/build-mingw
    ;;
x86_64-linux-static)
    for tool in autoconf automake libtoolize m4 pkg-config; do
        command -v "$tool" >/dev/null || fail "$tool is missing (make ports installs it)"
    done
    echo "Configuring BOINC's libraries (static archives only)"
    (
        cd "$src"
        ./_autosetup
        ./configure --disable-server --disable-client --disable-manager \
            --enable-libraries --disable-shared --enable-static \
            CXXFLAGS="-O2" CFLAGS="-O2"
    ) >"$folder/configure.log" 2>&1 || {
        tail -n 40 "$folder/configure.log" >&2
        fail "BOINC's configure failed (whole log: $folder/configure.log)"
    }
    echo "Building libboinc.a and libboinc_api.a"
    # lib/ first, alone: a parallel build of both folders races inside lib/.
    make -C "$src/lib" -j "$jobs" libboinc.la
    make -C "$src/api" -j "$jobs" libboinc_api.la
    mkdir -p "$src/build-static"
    cp "$src/lib/.libs/libboinc.a" "$src/api/.libs/libboinc_api.a" "$src/build-static/"
    built=$src/build-static
    ;;
esac

mkdir -p "$folder/include/boinc" "$folder/lib"
for library in "${libraries[@]}"; do
    cp "$built/$library" "$folder/lib/"
done
cp "$src"/api/*.h "$src"/lib/*.h "$src/version.h" "$folder/include/boinc/"
case "$target" in
*-w64-mingw32) cp "$src/win_build/config.h" "$folder/include/boinc/" ;;
*) cp "$src/config.h" "$folder/include/boinc/" ;;
esac

# The marker BOINC's update_versions looks for; a worker linked with the archive
# carries it in its executable.
api_version=$(grep -ao 'API_VERSION_[0-9.]*' "$folder/lib/libboinc_api.a" | head -n 1 | sed 's/^API_VERSION_//')
[ -n "$api_version" ] || fail "$folder/lib/libboinc_api.a carries no API_VERSION marker"
echo "$api_version" >"$folder/api_version"
echo "$stamp" >"$folder/stamp"
echo "BOINC $api_version libraries for $target: $folder"
