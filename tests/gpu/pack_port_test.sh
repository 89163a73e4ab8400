#!/usr/bin/env bash
# The Windows x86-64 GPU worker (make ports) packed as an app version of each GPU
# plan class: it imports the DLLs of the CPU port and OpenCL.dll, nothing else;
# each folder holds the executable, its name carrying the class, and a
# version.xml naming it with the API version it carries; no anonymous-platform
# files; without a plan class, or with one the plan class file lacks, it is
# refused with nothing written.
#   pack_port_test.sh SOURCE_DIR
# with DLSMATE_WINDOWS_WORKER and DLSMATE_WINDOWS_GPU_WORKER naming the port's
# dlsmate.exe and dlsmate-opencl.exe (make test-ports sets them); skipped (77)
# without them.
set -euo pipefail
source_dir=$1
cpu_worker=${DLSMATE_WINDOWS_WORKER:-}
worker=${DLSMATE_WINDOWS_GPU_WORKER:-}
if [ ! -f "$cpu_worker" ] || [ ! -f "$worker" ]; then
    echo "skipped: DLSMATE_WINDOWS_WORKER and DLSMATE_WINDOWS_GPU_WORKER name no Windows port (make test-ports sets them)"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
pack=$source_dir/deploy/make-app-version.sh

imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | sort | tr '\n' ' '; }
# shellcheck disable=SC2046 # one DLL a word
[ "$(imports "$worker")" = "$(printf '%s\n' $(imports "$cpu_worker") OpenCL.dll | sort | tr '\n' ' ')" ] ||
    fail "the GPU worker imports $(imports "$worker"), the CPU worker $(imports "$cpu_worker")"

api=$(grep -ao 'API_VERSION_[0-9.]*' "$worker" | head -n 1 | sed 's/^API_VERSION_//')
classes=$(sed -n 's:.*<name>\(.*\)</name>.*:\1:p' "$source_dir/deploy/gpu_plan_classes.xml" | tr '\n' ' ')
[ "$classes" = "opencl_nvidia opencl_amd opencl_intel " ] || fail "plan classes: $classes"
for plan in $classes; do
    "$pack" --port windows_x86_64 "$worker" "$work/pack" "$plan" >"$work/log" || fail "packing $plan: $(cat "$work/log")"
    folder=$work/pack/apps/dlsmate/1.00/windows_x86_64__$plan
    executable=dlsmate_1.00_windows_x86_64__$plan.exe
    [ "$(cd "$folder" && ls | tr '\n' ' ')" = "$executable version.xml " ] || fail "$plan: $(ls "$folder")"
    cmp -s "$worker" "$folder/$executable" || fail "$plan: the packed executable is not the worker"
    expected="<version>
    <file>
        <physical_name>$executable</physical_name>
        <main_program/>
    </file>
    <api_version>$api</api_version>
</version>"
    [ "$(cat "$folder/version.xml")" = "$expected" ] || fail "$plan: version.xml: $(cat "$folder/version.xml")"
done
[ "$api" = 7.20.5 ] || fail "API version $api"
[ ! -e "$work/pack/anonymous" ] || fail "anonymous-platform files written for a GPU version"

refused() { # refused EXPECTED_MESSAGE ARGUMENT...
    local expected=$1
    shift
    if "$pack" --port windows_x86_64 "$worker" "$work/refused" "$@" >/dev/null 2>"$work/err"; then
        fail "packed with ${*:-no plan class}"
    fi
    [ "$(cat "$work/err")" = "$pack: $expected" ] || fail "with ${*:-no plan class}: $(cat "$work/err")"
    [ ! -e "$work/refused" ] || fail "with ${*:-no plan class}: files left"
}
refused "$worker imports OpenCL.dll: a GPU worker, to be packed with a plan class"
refused "gpu_plan_classes.xml has no plan class opencl_nonesuch" opencl_nonesuch
echo "the Windows GPU worker packed for ${classes% }; without a class or with an undefined one refused"
