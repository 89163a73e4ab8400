#!/usr/bin/env bash
# Builds the worker and its module tests for each port into <folder>/<port>/, each
# with BOINC's libraries built from the tarball in DLSMATE_BOINC_SOURCE, and packs
# every worker as an app version into <folder>/pack (deploy/make-port-version.sh):
#
#   DLSMATE_BOINC_SOURCE=<BOINC source tarball> cmake/build-ports.sh <folder> [PORT...]
#   cmake/build-ports.sh --check-source    only says how to provide the source if it is missing
#
# Ports: x86_64-w64-mingw32 (BOINC platform windows_x86_64), i686-w64-mingw32
# (windows_intelx86), x86_64-linux-static (x86_64-pc-linux-gnu); all three by default.
set -euo pipefail

check_only=
if [ "${1:-}" = --check-source ]; then
    check_only=yes
    set -- ignored
fi
if [ $# -lt 1 ]; then
    echo "usage: DLSMATE_BOINC_SOURCE=<BOINC source tarball> $0 <folder> [PORT...]" >&2
    exit 2
fi
folder=$1
shift
ports=("$@")
[ ${#ports[@]} -gt 0 ] || ports=(x86_64-w64-mingw32 i686-w64-mingw32 x86_64-linux-static)
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}

if [ -z "${DLSMATE_BOINC_SOURCE:-}" ]; then
    cat >&2 <<'EOF'
The ports link BOINC's libraries built from BOINC's own source. Set DLSMATE_BOINC_SOURCE
to a tarball of it, for example one made from BOINC's release tag client_release/7.20/7.20.5:

    git clone --depth 1 --branch client_release/7.20/7.20.5 https://github.com/BOINC/boinc.git
    tar -cJf boinc-7.20.5.tar.xz boinc
    make ports DLSMATE_BOINC_SOURCE=$PWD/boinc-7.20.5.tar.xz

(any tarball whose top folder holds BOINC's api/, lib/, win_build/config.h and its
autotools files will do).
EOF
    exit 1
fi
[ -f "$DLSMATE_BOINC_SOURCE" ] || { echo "$0: DLSMATE_BOINC_SOURCE=$DLSMATE_BOINC_SOURCE is not a file" >&2; exit 1; }
[ -z "$check_only" ] || exit 0

mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
for port in "${ports[@]}"; do
    case "$port" in
    x86_64-w64-mingw32) platform=windows_x86_64 worker=dlsmate.exe ;;
    i686-w64-mingw32) platform=windows_intelx86 worker=dlsmate.exe ;;
    x86_64-linux-static) platform=x86_64-pc-linux-gnu worker=dlsmate ;;
    *) echo "$0: unknown port $port" >&2; exit 1 ;;
    esac
    echo "== $port"
    JOBS=$jobs "$root/cmake/build-boinc.sh" "$port" "$DLSMATE_BOINC_SOURCE" "$folder/boinc-$port"
    cmake -S "$root" -B "$folder/$port" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$port.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DDLSMATE_BOINC_PREFIX="$folder/boinc-$port" \
        -DDLSMATE_TESTS=OFF -DDLSMATE_TOOLS=OFF -DDLSMATE_PORT_TESTS=ON >/dev/null
    cmake --build "$folder/$port" -j "$jobs" --target dlsmate dlsmate_unit_tests
    "$root/deploy/make-port-version.sh" "$platform" "$folder/$port/$worker" "$folder/pack"
done
echo "ports built in $folder; app versions in $folder/pack"
