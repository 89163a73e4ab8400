#!/usr/bin/env bash
# The GPU worker packed as an app version of each plan class: the folder and the
# executable carry the class, the OpenCL library of BOINC travels with it, the
# packed worker loads the packed libraries, and a class that the plan class file
# does not define is refused with nothing written; the project maker refuses a
# packed class that no plan class file defines, or one defined twice.
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
    # (ldd's output taken whole: grep -q leaving the pipe early would fail it under pipefail)
    loaded=$(ldd "$folder/$executable")
    grep -q "libboinc_opencl.so.7 => $(realpath "$folder")/libboinc_opencl.so.7" <<<"$loaded" ||
        fail "$plan: the packed worker does not load the packed libboinc_opencl"
done
[ ! -e "$work/pack/anonymous" ] || fail "anonymous-platform files written for a GPU version"

if "$source_dir/deploy/make-app-version.sh" "$worker" "$work/bogus" opencl_nonesuch 2>"$work/err"; then
    fail "an undefined plan class was packed"
fi
grep -qx "$source_dir/deploy/make-app-version.sh: gpu_plan_classes.xml has no plan class opencl_nonesuch" "$work/err" ||
    fail "message: $(cat "$work/err")"
[ ! -e "$work/bogus" ] || fail "an undefined plan class left files"

# A class of another plan class file, named after the class.
other=$source_dir/tests/server/opencl_cpu_plan_class.xml
"$source_dir/deploy/make-app-version.sh" "$worker" "$work/pack" opencl_cpu "$other" >"$work/log" || fail "packing opencl_cpu: $(cat "$work/log")"
[ -f "$work/pack/apps/dlsmate/1.00/x86_64-pc-linux-gnu__opencl_cpu/dlsmate_1.00_x86_64-pc-linux-gnu__opencl_cpu" ] ||
    fail "opencl_cpu: $(ls "$work/pack/apps/dlsmate/1.00")"

# The project maker takes the plan classes of the packed versions from the plan
# class files, each defined once, and refuses anything else before it makes anything
# (a stand-in BOINC tree: the checks come before BOINC's make_project).
tree=$work/tree
mkdir -p "$tree/tools" "$tree/sched"
printf '#!/bin/sh\necho "make_project ran" >&2; exit 1\n' >"$tree/tools/make_project"
cp "$tree/tools/make_project" "$tree/sched/cgi"
chmod +x "$tree/tools/make_project" "$tree/sched/cgi"
make_project() { # make_project EXPECTED_MESSAGE OPTION...
    local expected=$1
    shift
    if "$source_dir/deploy/server/make-dlsmate-project.sh" --app-version "$work/pack/apps/dlsmate" --tools "$work/no-tools" \
        "$@" "$tree" "$work/project" http://127.0.0.1/ 2>"$work/err"; then
        fail "make-dlsmate-project.sh $* went on"
    fi
    grep -qxF "$source_dir/deploy/server/make-dlsmate-project.sh: $expected" "$work/err" || fail "make-dlsmate-project.sh $*: $(cat "$work/err")"
    [ ! -e "$work/project" ] || fail "make-dlsmate-project.sh $* made the project"
}
make_project "the app version of plan class opencl_cpu has no definition in $source_dir/deploy/gpu_plan_classes.xml"
make_project "plan classes defined twice: opencl_amd opencl_intel opencl_nvidia " \
    --plan-classes "$source_dir/deploy/gpu_plan_classes.xml" --plan-classes "$source_dir/deploy/gpu_plan_classes.xml" --plan-classes "$other"
# Every class defined: on to the next check, the tools.
make_project "--tools: no dlsmate-split in $work/no-tools" --plan-classes "$source_dir/deploy/gpu_plan_classes.xml" --plan-classes "$other"
echo "every plan class packed; an undefined one refused; the project maker checks the classes"
