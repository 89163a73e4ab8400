#!/usr/bin/env bash
# The ports against the native build (`make test-ports`):
#
#   tests/ports/run-tests.sh <ports folder> <native build folder> [PORT...]
#
# For every work unit in tests/ports/units/ each port (default: all three that
# `make ports` builds into <ports folder>) runs standalone in a fresh directory,
# as does the native worker; exit status, result file (bytes, or its absence) and
# stderr.txt must be the same, stderr.txt compared with the message prefix's time
# and process id replaced and, for Windows, CR LF line ends (BOINC writes
# stderr.txt in text mode there) read as LF.  Then each port's module tests run.
# The Windows ports run under wine (x86-64) and wine32 (x86) in a wine prefix of
# their own, <ports folder>/wineprefix.
#
# A port with an OpenCL worker (Windows x86-64: dlsmate-opencl.exe) runs it too,
# under wine, whose OpenCL.dll hands the calls to this machine's OpenCL loader
# (pocl's processor device in CI): on the units listed in gpu_units below it must
# give the native worker's exit status, result file and stderr.txt, with one
# more line, the device, once the unit is read; with no OpenCL implementation
# (OCL_ICD_VENDORS naming an empty folder) it must end with status 1 and the
# worker's "No device" message.
#
# A port that this machine cannot run at all (32-bit code on a kernel without
# IA-32 emulation), or an OpenCL worker for which wine finds no OpenCL device,
# is reported as not run and makes the script fail, unless
# DLSMATE_PORTS_ALLOW_UNRUNNABLE=1, which turns it into a warning.
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 <ports folder> <native build folder> [PORT...]" >&2
    exit 2
fi
ports_dir=$(cd "$1" && pwd)
native_dir=$(cd "$2" && pwd)
shift 2
ports=("$@")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../cmake/ports.sh
. "$here/../../cmake/ports.sh"
# shellcheck source=../../tools/standalone-run.sh
. "$here/../../tools/standalone-run.sh"
[ ${#ports[@]} -gt 0 ] || ports=("${dlsmate_ports[@]}")
units_dir=$here/units

fail() {
    echo "$0: $*" >&2
    exit 1
}

native=$native_dir/dlsmate
[ -x "$native" ] || fail "no native worker at $native (make build)"
units=("$units_dir"/*.wu)
[ ${#units[@]} -ge 20 ] || fail "fewer than 20 work units in $units_dir"
# The units an OpenCL worker runs: the sample, a limit inside a batch, an end
# square, exhaustion, a continuation, squares with a mate, a rejected unit.
gpu_units=(01-sample 05-space-36-limit-3000 10-end-square-reached 12-exhausted-dead-36
    14-continuation-of-04 17-mate-space-58 20-rejected-index-0)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-ports-XXXXXX")
export WINEPREFIX=$ports_dir/wineprefix
export WINEDEBUG=-all
# No Mono or Gecko installer dialogues when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
# pocl compiles the kernel once for all runs, into the scratch folder.
export POCL_CACHE_DIR=$scratch/pocl-cache
wine_started=
cleanup() {
    if [ -n "$wine_started" ]; then
        wineserver -k 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# How to start each port's executables: a command prefix.
wine64_loader=/usr/lib/wine/wine64
runner=()
port_runner() {
    port_runner_words "$1" || fail "unknown port $1"
    [ -z "$port_loader" ] || [ -x "$port_loader" ] || fail "$port_wine is missing (make test-ports installs it)"
    runner=("${port_runner[@]}")
}

port_executable() {
    port_fields "$1"
    case "$port_worker" in
    *.exe) echo "$ports_dir/$1/$2.exe" ;;
    *) echo "$ports_dir/$1/$2" ;;
    esac
}

# stderr.txt with "HH:MM:SS (PID):" made "<prefix>:" and CR LF made LF.
normalized_log() {
    if [ -f "$1" ]; then
        sed -E -e 's/\r$//' -e 's/^[0-9]{2}:[0-9]{2}:[0-9]{2} \([0-9]+\):/<prefix>:/' "$1"
    else
        echo "(no stderr.txt)"
    fi
}

# Runs one worker (command prefix and executable) on a unit in a fresh directory
# below $scratch/<name>; leaves status, result and log there.
run_unit() {
    local name=$1 unit=$2
    shift 2
    local dir=$scratch/$name
    rm -rf "$dir"
    mkdir -p "$dir"
    local status=0
    run_standalone "$dir/run" "$unit" "$@" >"$dir/console" 2>&1 </dev/null || status=$?
    echo "$status" >"$dir/status"
    normalized_log "$dir/run/stderr.txt" >"$dir/log"
    if [ -f "$dir/run/out" ]; then cp "$dir/run/out" "$dir/result"; fi
}

# Compares the run in $scratch/$1 with the native run of unit $2; adds what
# differs to the array problems.
compare_with_native() {
    local got=$scratch/$1 expected=$scratch/native/$2
    [ "$(cat "$got/status")" = "$(cat "$expected/status")" ] ||
        problems+=("exit status $(cat "$got/status"), native $(cat "$expected/status")")
    if [ -f "$expected/result" ] && [ -f "$got/result" ]; then
        cmp -s "$expected/result" "$got/result" || problems+=("result file differs: $(cmp "$expected/result" "$got/result" 2>&1 || true)")
    elif [ -f "$expected/result" ] || [ -f "$got/result" ]; then
        problems+=("result file present in one run only")
    fi
    cmp -s "$expected/log" "$got/log" ||
        problems+=("stderr.txt differs: $(diff "$expected/log" "$got/log" | tr '\n' ' ' || true)")
}

# Counts the run called $1 as passed or, with the problems found, as failed.
tally() {
    if [ ${#problems[@]} -eq 0 ]; then
        passed=$((passed + 1))
    else
        failures=$((failures + 1))
        echo "$1: FAILED"
        printf '    %s\n' "${problems[@]}"
    fi
}

# Runs the OpenCL worker $2 of port $1 (runner set) on gpu_units and without
# any OpenCL implementation; counts failures, or marks it not run.
check_gpu_worker() {
    local port=$1 gpu_worker=$2 name problems device devices passed=0
    local first=${gpu_units[0]}
    local probe=$scratch/$port-opencl/$first
    run_unit "$port-opencl/$first" "$units_dir/$first.wu" "${runner[@]}" "$gpu_worker"
    if [ "$(cat "$probe/status")" != 0 ]; then
        local why=
        if grep -q '^<prefix>: No device: ' "$probe/log"; then
            why="wine's OpenCL.dll reaches no OpenCL device here ($(grep '^<prefix>: No device: ' "$probe/log"))"
        elif [ ! -f "$probe/run/stderr.txt" ] &&
            # A DLL that wine cannot load stops the program before it starts.
            grep -q 'Library OpenCL.dll .* not found' <<<"$(cd "$probe/run" &&
                WINEDEBUG=err+module "${runner[@]}" "$gpu_worker" in out 2>&1 </dev/null || true)"; then
            why="this wine has no OpenCL.dll (status $(cat "$probe/status"))"
        fi
        if [ -n "$why" ]; then
            echo "$port: dlsmate-opencl: NOT RUN: $why"
            unrunnable+=("$port/dlsmate-opencl")
            return
        fi
    fi
    devices=()
    for name in "${gpu_units[@]}"; do
        [ "$name" = "$first" ] || run_unit "$port-opencl/$name" "$units_dir/$name.wu" "${runner[@]}" "$gpu_worker"
        problems=()
        # One more line right after the standalone notice, once the unit is read.
        local log=$scratch/$port-opencl/$name/log
        device=$(sed -n '2{/^<prefix>: Device: /p}' "$log")
        if [ -n "$device" ]; then
            devices+=("$device")
            sed -i '2d' "$log"
        elif [ "$(cat "$scratch/native/$name/status")" = 0 ]; then
            problems+=("no device line after the standalone notice")
        fi
        compare_with_native "$port-opencl/$name" "$name"
        # Wine now and then ends a process that loaded pocl with SIGQUIT once
        # the worker has finished (8 of 182 runs here, more under load, with
        # either walk and pocl's pthread or basic device; none of 30 runs of
        # the CPU worker): the run counts when that is all that differs.
        if [ "${problems[*]}" = "exit status 131, native 0" ] &&
            [ "$(tail -1 "$log")" = "<prefix>: called boinc_finish(0)" ]; then
            problems=()
            echo "$port: dlsmate-opencl: $name: finished, then ended by SIGQUIT under wine (status 131)"
        fi
        tally "$port: dlsmate-opencl: $name"
    done
    echo "$port: dlsmate-opencl: $passed of ${#gpu_units[@]} work units as the native build, on ${devices[0]:-no device}"
    [ "$(printf '%s\n' "${devices[@]}" | sort -u | wc -l)" -le 1 ] || {
        failures=$((failures + 1))
        echo "$port: dlsmate-opencl: the device line changed between runs:"
        printf '    %s\n' "${devices[@]}" | sort -u
    }

    # No OpenCL implementation at all: the worker's message and status 1.
    mkdir -p "$scratch/no-icd"
    run_unit "$port-opencl/no-icd" "$units_dir/$first.wu" env OCL_ICD_VENDORS="$scratch/no-icd" "${runner[@]}" "$gpu_worker"
    local got=$scratch/$port-opencl/no-icd
    if [ "$(cat "$got/status")" = 1 ] && [ ! -f "$got/result" ] &&
        [ "$(sed -n 2p "$got/log")" = "<prefix>: No device: no OpenCL platform offers a device" ]; then
        echo "$port: dlsmate-opencl: without OpenCL: $(sed -n 2p "$got/log"), status 1"
    else
        failures=$((failures + 1))
        echo "$port: dlsmate-opencl: without OpenCL: FAILED (status $(cat "$got/status")):"
        cat "$got/log" "$got/console"
    fi
}

# The native outcome of every unit, once.
echo "native: $native"
for unit in "${units[@]}"; do
    run_unit "native/$(basename "$unit" .wu)" "$unit" "$native"
done

failures=0
unrunnable=()
for port in "${ports[@]}"; do
    port_runner "$port"
    worker=$(port_executable "$port" dlsmate)
    unit_tests=$(port_executable "$port" tests/ports/dlsmate_unit_tests)
    [ -f "$worker" ] || fail "no $port worker at $worker (make ports)"
    [ -f "$unit_tests" ] || fail "no $port module tests at $unit_tests (make ports)"

    if [[ "$port" == *-mingw32 ]]; then
        if [ ! -d "$WINEPREFIX" ]; then
            echo "Creating the wine prefix $WINEPREFIX"
            env WINELOADER="$wine64_loader" "$wine64_loader" wineboot -i >/dev/null 2>&1 || fail "wineboot failed for $WINEPREFIX"
        fi
        wine_started=yes
    fi
    # Can this machine start the port's code at all?
    probe=0
    "${runner[@]}" "$worker" >"$scratch/probe" 2>&1 </dev/null || probe=$?
    if [ "$probe" -ne 1 ]; then
        if grep -qi 'exec format error' "$scratch/probe" || [ "$probe" -eq 126 ]; then
            echo "$port: NOT RUN: this machine cannot execute its code ($(head -n 1 "$scratch/probe"))"
            unrunnable+=("$port")
            continue
        fi
        echo "$port: the worker without arguments ended with $probe, not 1:"
        cat "$scratch/probe"
        failures=$((failures + 1))
        continue
    fi

    passed=0
    for unit in "${units[@]}"; do
        name=$(basename "$unit" .wu)
        run_unit "$port/$name" "$unit" "${runner[@]}" "$worker"
        problems=()
        compare_with_native "$port/$name" "$name"
        tally "$port: $name"
    done
    echo "$port: $passed of ${#units[@]} work units as the native build"

    # The module tests, in a directory of their own (some write temporary files).
    mkdir -p "$scratch/$port/unit-tests"
    status=0
    (cd "$scratch/$port/unit-tests" && "${runner[@]}" "$unit_tests" --gtest_brief=1 >"../unit-tests.log" 2>&1 </dev/null) || status=$?
    if [ "$status" -eq 0 ] && grep -q '\[  PASSED  \]' "$scratch/$port/unit-tests.log"; then
        echo "$port: module tests: $(grep '\[  PASSED  \]' "$scratch/$port/unit-tests.log" | tr -d '\r')"
    else
        failures=$((failures + 1))
        echo "$port: module tests FAILED (status $status):"
        tail -n 40 "$scratch/$port/unit-tests.log"
    fi

    if [ -n "$port_gpu_worker" ]; then
        [ -f "$ports_dir/$port/$port_gpu_worker" ] || fail "no $port OpenCL worker at $ports_dir/$port/$port_gpu_worker (make ports)"
        check_gpu_worker "$port" "$ports_dir/$port/$port_gpu_worker"
    fi
done

if [ ${#unrunnable[@]} -gt 0 ]; then
    if [ "${DLSMATE_PORTS_ALLOW_UNRUNNABLE:-}" = 1 ]; then
        echo "warning: not run on this machine: ${unrunnable[*]}"
    else
        echo "not run on this machine: ${unrunnable[*]} (DLSMATE_PORTS_ALLOW_UNRUNNABLE=1 accepts that)"
        failures=$((failures + 1))
    fi
fi
if [ "$failures" -ne 0 ]; then
    echo "$0: $failures failure(s)" >&2
    exit 1
fi
if [ ${#unrunnable[@]} -gt 0 ]; then
    echo "ports: all tests passed on the ports that ran; NOT RUN: ${unrunnable[*]}"
else
    echo "ports: all tests passed"
fi
