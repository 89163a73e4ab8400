#!/usr/bin/env bash
# The GPU worker on a real GPU, in one go (about 8 minutes at most): builds
# dlsmate, the GPU worker and their tests, checks the device's answers against
# the worker's own (21,000 kept squares, 1,000 squares with mates), compares
# the GPU worker's result files with dlsmate's on every test work unit, and
# measures kept squares per second on the benchmark units beside dlsmate on one
# core, in the same run, and where the GPU worker's time goes (device calls,
# processor's walk).
#
#   tests/gpu/device-check.sh [BUILD_DIR]
#
# Its log goes to $OUT/device-check.log when OUT is set, else to
# BUILD_DIR/device-check.log.  It installs nothing: it needs cmake, g++, the
# BOINC development files and GoogleTest already there.  Through OpenCL when an
# ICD is registered (/etc/OpenCL/vendors) and OpenCL headers and a loader are
# found (CUDA's own will do); otherwise through CUDA (nvcc), the same kernel
# source compiled as CUDA C++.
set -uo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-gpu}
mkdir -p "$build"
log=${OUT:+$OUT/device-check.log}
log=${log:-$build/device-check.log}
: >"$log"
say() { echo "$*" | tee -a "$log"; }
run() { say "\$ $*"; "$@" >>"$log" 2>&1; local status=$?; say "  -> status $status"; return $status; }
started=$(date +%s)

say "== device check, $(date -u +%FT%TZ), commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
run nproc
run sh -c 'lscpu | grep -E "Model name|^CPU\(s\)"'
command -v nvidia-smi >/dev/null && run nvidia-smi -L
cuda=${CUDA_HOME:-/usr/local/cuda}
nvcc=$(command -v nvcc || echo "$cuda/bin/nvcc")
[ -x "$nvcc" ] && run "$nvcc" --version

# OpenCL: a registered ICD, headers and a loader (the system's or CUDA's).
cmake_options=(-DCMAKE_BUILD_TYPE=Release)
backend=
if ls /etc/OpenCL/vendors/*.icd >/dev/null 2>&1; then
    say "OpenCL ICDs: $(cat /etc/OpenCL/vendors/*.icd | tr '\n' ' ')"
    if [ ! -f /usr/include/CL/cl.h ] && [ -f "$cuda/include/CL/cl.h" ]; then
        cmake_options+=(-DOpenCL_INCLUDE_DIR="$cuda/include" -DOpenCL_LIBRARY="$(ls "$cuda"/lib64/libOpenCL.so* 2>/dev/null | head -1)")
    fi
    backend=opencl
else
    say "no OpenCL ICD registered"
fi
if [ -x "$nvcc" ]; then
    cmake_options+=(-DDLSMATE_CUDA=ON -DCMAKE_CUDA_COMPILER="$nvcc")
    [ -n "$backend" ] || backend=cuda
fi
[ -n "$backend" ] || { say "neither OpenCL nor CUDA: nothing to check"; exit 1; }

run cmake -S . -B "$build" "${cmake_options[@]}" || { say "configure failed"; exit 1; }
if [ "$backend" = opencl ] && ! grep -q 'dlsmate-opencl' "$build/Makefile" "$build"/opencl/Makefile 2>/dev/null; then
    say "OpenCL not usable for the build; using CUDA"
    backend=cuda
fi
worker=$build/opencl/dlsmate-$backend
timer=$build/opencl/dlsmate_time_$([ "$backend" = opencl ] && echo device || echo cuda)
targets=(dlsmate "dlsmate-$backend" "dlsmate_${backend}_device_tests" "dlsmate_${backend}_worker_tests" "$(basename "$timer")")
run timeout 240 cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" || { say "build failed"; exit 1; }
say "backend: $backend ($worker); build done after $(( $(date +%s) - started )) s"

# The answers: every kept square and square with a mate against has_orthogonal_mate.
DLSMATE_GPU_SWEEP=1 run timeout 120 "$build/tests/gpu/dlsmate_${backend}_device_tests"
answers=$?
# The result files, messages and exit statuses against dlsmate's, every unit.
DLSMATE_GPU_SWEEP=1 run timeout 150 "$build/tests/gpu/dlsmate_${backend}_worker_tests"
files=$?

# Kept squares per second: dlsmate on one core with its usual limit, the GPU
# worker with 25 times more (DEVICE_CHECK_GPU_LIMIT, default 500000); each run's fixed cost (start, the
# device's set-up, BOINC's pause at finish) measured with a limit of 1 and
# taken off.
seconds() { # program unit limit -> wall seconds of `program in out` in a fresh directory
    local d; d=$(mktemp -d)
    { echo "$(head -1 "$2" | cut -d' ' -f1) $3"; tail -n +2 "$2"; } >"$d/in"
    local t0 t1 status; t0=$(date +%s.%N)
    (cd "$d" && timeout 90 "$OLDPWD/$1" in out >/dev/null 2>&1)
    status=$?
    t1=$(date +%s.%N)
    rm -rf "$d"
    [ $status = 0 ] || { say "  $1 on $2, limit $3: status $status" >&2; echo nan; return; }
    awk "BEGIN { print $t1 - $t0 }"
}
gpu_limit=${DEVICE_CHECK_GPU_LIMIT:-500000}
say "== kept squares per second (wall clock; fixed cost taken off; GPU worker limit $gpu_limit)"
say "unit | dlsmate, 1 core | $backend worker | ratio"
for unit in bench/units/live-*.wu bench/units/mixed-*.wu; do
    [ $(( $(date +%s) - started )) -lt 440 ] || { say "(out of time: the remaining units are not measured)"; break; }
    cpu_fixed=$(seconds "$build/dlsmate" "$unit" 1)
    cpu=$(seconds "$build/dlsmate" "$unit" 20000)
    gpu_fixed=$(seconds "$worker" "$unit" 1)
    gpu=$(seconds "$worker" "$unit" "$gpu_limit")
    say "$(basename "$unit" .wu) | $(awk "BEGIN { c = 20000 / ($cpu - $cpu_fixed); g = $gpu_limit / ($gpu - $gpu_fixed);
        printf \"%.0f | %.0f | %.3g\", c, g, g / c }")"
done

# Where the GPU worker's time goes: the device's calls (kernels and transfers)
# and the processor's walk, each unit with the GPU worker's limit.
say "== where the time goes (wall seconds; the device opened and self-tested first)"
for unit in bench/units/live-*.wu bench/units/mixed-*.wu; do
    [ $(( $(date +%s) - started )) -lt 460 ] || { say "(out of time: the remaining units are not timed)"; break; }
    d=$(mktemp -d)
    { echo "$(head -1 "$unit" | cut -d' ' -f1) $gpu_limit"; tail -n +2 "$unit"; } >"$d/in"
    say "$(basename "$unit" .wu): $(timeout 60 "$timer" "$d/in" "$d/out" 2>&1 | tail -1)"
    rm -rf "$d"
done

say "== answers: $([ $answers = 0 ] && echo right || echo WRONG); result files: $([ $files = 0 ] && echo identical || echo DIFFERENT); $(( $(date +%s) - started )) s"
[ $answers = 0 ] && [ $files = 0 ]
