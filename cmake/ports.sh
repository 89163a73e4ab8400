# The worker's ports, sourced by every script that builds, packs, tests or
# times them (cmake/build-ports.sh, cmake/build-boinc.sh,
# deploy/make-port-version.sh, tests/ports/run-tests.sh, bench/time-ports.sh).

# Every port, in the order the scripts take them by default.
dlsmate_ports=(x86_64-w64-mingw32 i686-w64-mingw32 x86_64-linux-static)

# Sets the fields of port $1; false for a port not in the table.
#   port_platform  BOINC's platform name
#   port_worker    the worker's file name in the port's build folder
#   port_format    the executable's file format as objdump -f names it
#   port_wine      the wine that runs it here (wine64, wine32), empty: runs natively
#   port_loader    that wine's loader
#   port_gpu_worker  the OpenCL worker's file name in the build folder (linked with
#                  an import library of OpenCL.dll); empty: the port has none
port_fields() {
    case "$1" in
    x86_64-w64-mingw32)
        port_platform=windows_x86_64 port_worker=dlsmate.exe port_format=pei-x86-64
        port_wine=wine64 port_loader=/usr/lib/wine/wine64 port_gpu_worker=opencl/dlsmate-opencl.exe ;;
    i686-w64-mingw32)
        port_platform=windows_intelx86 port_worker=dlsmate.exe port_format=pei-i386
        port_wine=wine32 port_loader=/usr/lib/wine/wine port_gpu_worker= ;;
    x86_64-linux-static)
        port_platform=x86_64-pc-linux-gnu port_worker=dlsmate port_format=elf64-x86-64
        port_wine= port_loader= port_gpu_worker= ;;
    *) return 1 ;;
    esac
}

# Sets port_name and the fields of the port of BOINC platform $1; false for none.
platform_port() {
    local name
    for name in "${dlsmate_ports[@]}"; do
        port_fields "$name"
        if [ "$port_platform" = "$1" ]; then
            port_name=$name
            return 0
        fi
    done
    return 1
}

# The command words that start an executable of port $1 here, into port_runner.
port_runner_words() {
    port_fields "$1" || return 1
    case "$port_wine" in
    wine64) port_runner=(env WINELOADER="$port_loader" "$port_loader") ;;
    wine32) port_runner=("$port_loader") ;;
    *) port_runner=() ;;
    esac
}
