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
# A port that this machine cannot run at all (32-bit code on a kernel without
# IA-32 emulation) is reported as not run and makes the script fail, unless
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

scratch=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-ports-XXXXXX")
export WINEPREFIX=$ports_dir/wineprefix
export WINEDEBUG=-all
# No Mono or Gecko installer dialogues when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
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
        expected=$scratch/native/$name
        got=$scratch/$port/$name
        problems=()
        [ "$(cat "$got/status")" = "$(cat "$expected/status")" ] ||
            problems+=("exit status $(cat "$got/status"), native $(cat "$expected/status")")
        if [ -f "$expected/result" ] && [ -f "$got/result" ]; then
            cmp -s "$expected/result" "$got/result" || problems+=("result file differs: $(cmp "$expected/result" "$got/result" 2>&1 || true)")
        elif [ -f "$expected/result" ] || [ -f "$got/result" ]; then
            problems+=("result file present in one run only")
        fi
        cmp -s "$expected/log" "$got/log" ||
            problems+=("stderr.txt differs: $(diff "$expected/log" "$got/log" | tr '\n' ' ' || true)")
        if [ ${#problems[@]} -eq 0 ]; then
            passed=$((passed + 1))
        else
            failures=$((failures + 1))
            echo "$port: $name: FAILED"
            printf '    %s\n' "${problems[@]}"
        fi
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
