#!/usr/bin/env bash
# Builds the worker and its module tests for each port into <folder>/<port>/, each
# with BOINC's libraries built from the tarball in DLSMATE_BOINC_SOURCE, and packs
# every worker as an app version into <folder>/pack (deploy/make-port-version.sh).
# A port with an OpenCL worker (cmake/ports.sh: Windows x86-64) also builds
# dlsmate-opencl, linked with an import library of OpenCL.dll made in
# <folder>/opencl-<port> (cmake/build-opencl-import.sh), and packs it once for
# each GPU plan class of deploy/gpu_plan_classes.xml:
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
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=ports.sh
. "$root/cmake/ports.sh"
ports=("$@")
[ ${#ports[@]} -gt 0 ] || ports=("${dlsmate_ports[@]}")
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
    port_fields "$port" || { echo "$0: unknown port $port" >&2; exit 1; }
    echo "== $port"
    JOBS=$jobs "$root/cmake/build-boinc.sh" "$port" "$DLSMATE_BOINC_SOURCE" "$folder/boinc-$port"
    opencl=()
    targets=(dlsmate dlsmate_unit_tests)
    if [ -n "$port_gpu_worker" ]; then
        "$root/cmake/build-opencl-import.sh" "$port" "$folder/opencl-$port"
        opencl=(-DOpenCL_INCLUDE_DIR="$folder/opencl-$port/include" -DOpenCL_LIBRARY="$folder/opencl-$port/lib/libOpenCL.a")
        targets+=(dlsmate-opencl)
    fi
    cmake -S "$root" -B "$folder/$port" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$port.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DDLSMATE_BOINC_PREFIX="$folder/boinc-$port" "${opencl[@]}" \
        -DDLSMATE_TESTS=OFF -DDLSMATE_TOOLS=OFF -DDLSMATE_PORT_TESTS=ON >/dev/null
    cmake --build "$folder/$port" -j "$jobs" --target "${targets[@]}"
    "$root/deploy/make-port-version.sh" "$port_platform" "$folder/$port/$port_worker" "$folder/pack"
    if [ -n "$port_gpu_worker" ]; then
        for class in $(sed -n 's:.*<name>\(.*\)</name>.*:\1:p' "$root/deploy/gpu_plan_classes.xml"); do
            "$root/deploy/make-port-version.sh" "$port_platform" "$folder/$port/$port_gpu_worker" "$folder/pack" "$class"
        done
    fi
done
echo "ports built in $folder; app versions in $folder/pack"
