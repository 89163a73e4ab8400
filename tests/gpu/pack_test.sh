#!/usr/bin/env bash
# The GPU worker packed as an app version of each plan class: the folder and the
# executable carry the class, the OpenCL library of BOINC travels with it, the
# packed worker loads the packed libraries, and a class that the plan class file
# does not define is refused with nothing written.
#   pack_test.sh SOURCE_DIR GPU_WORKER
set -euo pipefail
source_dir=$1 worker=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

for plan in opencl_nvidia opencl_amd opencl_intel; do
    "$source_dir/deploy/make-app-version.sh" "$worker" "$work/pack" "$plan" >"$work/log" || fail "packing $plan: $(cat "$work/log")"
    folder=$work/pack/apps/dlsmate/1.00/x86_64-pc-linux-gnu__$plan
    executable=dlsmate_1.00_x86_64-pc-linux-gnu__$plan
    [ "$(cd "$folder" && ls | sort | tr '\n' ' ')" = "$executable libboinc.so.7 libboinc_api.so.7 libboinc_opencl.so.7 version.xml " ] ||
        fail "$plan: $(ls "$folder")"
    grep -q "<physical_name>$executable</physical_name>" "$folder/version.xml" || fail "$plan: version.xml names another program"
    ldd "$folder/$executable" | grep -q "libboinc_opencl.so.7 => $(realpath "$folder")/libboinc_opencl.so.7" ||
        fail "$plan: the packed worker does not load the packed libboinc_opencl"
done
[ ! -e "$work/pack/anonymous" ] || fail "anonymous-platform files written for a GPU version"

if "$source_dir/deploy/make-app-version.sh" "$worker" "$work/bogus" opencl_nonesuch 2>"$work/err"; then
    fail "an undefined plan class was packed"
fi
grep -qx "$source_dir/deploy/make-app-version.sh: gpu_plan_classes.xml has no plan class opencl_nonesuch" "$work/err" ||
    fail "message: $(cat "$work/err")"
[ ! -e "$work/bogus" ] || fail "an undefined plan class left files"
echo "every plan class packed; an undefined one refused"
