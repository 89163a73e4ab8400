#!/usr/bin/env bash
# Packs a built worker as a BOINC app version, with the BOINC libraries it links
# beside it, so that volunteers' machines need no BOINC development package:
#
#   deploy/make-app-version.sh <worker> <output folder> [<plan class>]
#
# writes
#   <output folder>/apps/<app>/<version>/<platform>/   executable, libraries, version.xml:
#                                                      copy into a project's apps/ and
#                                                      run bin/update_versions
#   <output folder>/anonymous/                         the same files and app_info.xml:
#                                                      for volunteers on the anonymous
#                                                      platform, into projects/<url>/
#
# With a plan class (a GPU worker: dlsmate-opencl with opencl_nvidia, opencl_amd
# or opencl_intel, defined in deploy/plan_class_spec.xml) the app version goes
# to <platform>__<plan class>/ and no anonymous-platform files are written.
#
# Names, version and platform come from deploy/app_info.xml.  The worker finds
# the libraries through its run path $ORIGIN (the folder of the executable,
# where the client keeps every file of an app version); the script refuses a
# worker built without it and checks that the packed executable loads the
# packed libraries.
set -euo pipefail

if [ $# -ne 2 ] && [ $# -ne 3 ]; then
    echo "usage: $0 <worker> <output folder> [<plan class>]" >&2
    exit 2
fi
worker=$1
out=$2
plan_class=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
app_info=$here/app_info.xml

fail() {
    echo "$0: $*" >&2
    exit 1
}

# The first value of an element in app_info.xml.
element() {
    sed -n "s:.*<$1>\(.*\)</$1>.*:\1:p" "$app_info" | head -n 1
}

[ -f "$worker" ] || fail "no worker at $worker"
app=$(element app_name)
platform=$(element platform)
version_num=$(element version_num)
api_version=$(element api_version)
[[ "$version_num" =~ ^[0-9]+$ ]] || fail "app_info.xml has no numeric version_num"
# BOINC shows version_num 100 as 1.00; update_versions reads it from the folder name.
version=$(printf '%d.%02d' $((version_num / 100)) $((version_num % 100)))
executable=${app}_${version}_${platform}
grep -q "<name>$executable</name>" "$app_info" || fail "app_info.xml does not name the executable $executable"
if [ -n "$plan_class" ]; then
    grep -q "<name>$plan_class</name>" "$here/plan_class_spec.xml" || fail "plan_class_spec.xml has no plan class $plan_class"
    executable=${executable}__$plan_class
fi

dynamic=$(readelf -d "$worker")
runpath=$(grep '(RUNPATH)' <<<"$dynamic" || true)
# shellcheck disable=SC2016 # a literal $ORIGIN
grep -qF '[$ORIGIN]' <<<"$runpath" || fail "$worker has no run path \$ORIGIN (readelf -d: ${runpath:-no RUNPATH})"
echo "$runpath"

# Every BOINC library the worker needs travels with it.
libraries=$(sed -n 's/.*(NEEDED).*\[\(libboinc[^]]*\)\]/\1/p' <<<"$dynamic")
[ -n "$libraries" ] || fail "$worker needs no BOINC library: not the worker?"
resolved=$(ldd "$worker")
declare -A source
for library in $libraries; do
    [ -n "$plan_class" ] || grep -q "<name>$library</name>" "$app_info" || fail "app_info.xml does not name $library"
    path=$(awk -v lib="$library" '$1 == lib && $2 == "=>" { print $3 }' <<<"$resolved")
    if [ -z "$path" ] || [ ! -f "$path" ]; then
        fail "$library is not found on this machine"
    fi
    source[$library]=$path
done
shipped_api=$(grep -ao 'API_VERSION_[0-9.]*' "${source[libboinc_api.so.7]:-/dev/null}" | head -n 1 || true)
[ "$shipped_api" = "API_VERSION_$api_version" ] ||
    fail "app_info.xml declares api_version $api_version, the library is ${shipped_api:-unknown}"

stage() {
    local folder=$1
    mkdir -p "$folder"
    install -m 755 "$worker" "$folder/$executable"
    for library in $libraries; do
        install -m 644 "${source[$library]}" "$folder/$library"
    done
    # The packed executable must load the packed libraries, not the system's.
    local loaded
    loaded=$(ldd "$folder/$executable")
    for library in $libraries; do
        local path
        path=$(awk -v lib="$library" '$1 == lib && $2 == "=>" { print $3 }' <<<"$loaded")
        [ "$(realpath "$path")" = "$(realpath "$folder/$library")" ] ||
            fail "$folder/$executable loads $library from $path"
    done
}

server=$out/apps/$app/$version/$platform${plan_class:+__$plan_class}
stage "$server"
{
    echo "<version>"
    printf '    <file>\n        <physical_name>%s</physical_name>\n        <main_program/>\n    </file>\n' "$executable"
    for library in $libraries; do
        printf '    <file>\n        <physical_name>%s</physical_name>\n    </file>\n' "$library"
    done
    # The API version marker lives in libboinc_api, not in the executable.
    printf '    <api_version>%s</api_version>\n' "$api_version"
    echo "</version>"
} >"$server/version.xml"

echo "app version $app $version for $platform${plan_class:+ ($plan_class)}: $server"
[ -z "$plan_class" ] || exit 0

anonymous=$out/anonymous
stage "$anonymous"
install -m 644 "$app_info" "$anonymous/app_info.xml"
echo "anonymous platform files: $anonymous"
