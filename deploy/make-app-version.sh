#!/usr/bin/env bash
# Packs a built worker as a BOINC app version:
#
#   deploy/make-app-version.sh <worker> <output folder> [<plan class> [<plan class file>]]
#   deploy/make-app-version.sh --port <platform> <worker> <output folder> [<plan class> [<plan class file>]]
#
# The first form packs the native build with the BOINC libraries it links beside
# it, so that volunteers' machines need no BOINC development package; it writes
#   <output folder>/apps/<app>/<version>/<platform>/   executable, libraries, version.xml:
#                                                      copy into a project's apps/ and
#                                                      run bin/update_versions
#   <output folder>/anonymous/                         the same files and app_info.xml:
#                                                      for volunteers on the anonymous
#                                                      platform, into projects/<url>/
# With a plan class (a GPU worker: dlsmate-opencl with opencl_nvidia, opencl_amd
# or opencl_intel, defined in deploy/gpu_plan_classes.xml, or a class of another
# plan class file given after it) the app version goes to
# <platform>__<plan class>/ and no anonymous-platform files are written.
# Names, version and platform come from deploy/app_info.xml.  The worker finds
# the libraries through its run path $ORIGIN (the folder of the executable,
# where the client keeps every file of an app version); the script refuses a
# worker built without it and checks that the packed executable loads the
# packed libraries.
#
# The second form (what deploy/make-port-version.sh runs) packs a
# self-contained build of a port (`make ports`, the ports of cmake/ports.sh)
# for its platform: the executable alone, with the BOINC libraries linked in,
# into the same apps/ folder and into anonymous/<platform>/ with an
# app_info.xml of its own.  Name and version come from deploy/app_info.xml;
# <api_version> is the API version marker that the static libboinc_api put into
# the executable.  It refuses a Linux worker that needs any shared library and
# a Windows one that needs a DLL of the GCC runtime, and checks that the
# executable is built for the platform.  With a plan class (the Windows GPU
# worker, dlsmate-opencl.exe, which imports OpenCL.dll, the OpenCL loader that
# GPU drivers install) the app version goes to <platform>__<plan class>/, its
# executable's name carries the class, and no anonymous-platform files are
# written; OpenCL.dll is accepted only there.
set -euo pipefail

port=
if [ "${1:-}" = --port ]; then
    if [ $# -lt 4 ] || [ $# -gt 6 ]; then
        echo "usage: $0 --port <windows_x86_64|windows_intelx86|x86_64-pc-linux-gnu> <worker> <output folder> [<plan class> [<plan class file>]]" >&2
        exit 2
    fi
    port=yes
    platform=$2
    shift 2
elif [ $# -lt 2 ] || [ $# -gt 4 ]; then
    echo "usage: $0 <worker> <output folder> [<plan class> [<plan class file>]]" >&2
    exit 2
fi
worker=$1
out=$2
plan_class=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
plan_classes=${4:-$here/gpu_plan_classes.xml}
app_info=$here/app_info.xml

fail() {
    echo "$0: $*" >&2
    exit 1
}

# The first value of an element in app_info.xml.
element() {
    sed -n "s:.*<$1>\(.*\)</$1>.*:\1:p" "$app_info" | head -n 1
}

# version.xml of an app version in folder $1: the executable $2 as the main
# program, then the libraries after the API version $3 as further files.
write_version_xml() {
    local folder=$1 executable=$2 api=$3 library
    shift 3
    {
        echo "<version>"
        printf '    <file>\n        <physical_name>%s</physical_name>\n        <main_program/>\n    </file>\n' "$executable"
        for library in "$@"; do
            printf '    <file>\n        <physical_name>%s</physical_name>\n    </file>\n' "$library"
        done
        printf '    <api_version>%s</api_version>\n' "$api"
        echo "</version>"
    } >"$folder/version.xml"
}

# The plan class must be one the plan class file defines.
check_plan_class() {
    [ -f "$plan_classes" ] || fail "no plan class file $plan_classes"
    grep -q "<name>$plan_class</name>" "$plan_classes" || fail "$(basename "$plan_classes") has no plan class $plan_class"
}

[ -f "$worker" ] || fail "no worker at $worker"
app=$(element app_name)
version_num=$(element version_num)
[[ "$version_num" =~ ^[0-9]+$ ]] || fail "app_info.xml has no numeric version_num"
# BOINC shows version_num 100 as 1.00; update_versions reads it from the folder name.
version=$(printf '%d.%02d' $((version_num / 100)) $((version_num % 100)))

if [ -n "$port" ]; then
    # shellcheck source=../cmake/ports.sh
    . "$here/../cmake/ports.sh" || fail "packing a port needs the source tree's cmake/ports.sh"
    friendly=$(element user_friendly_name)
    header=$(objdump -f "$worker" 2>/dev/null) || fail "$worker is not an executable objdump knows"
    platform_port "$platform" || fail "unknown platform $platform"
    [ -z "$plan_class" ] || check_plan_class
    class_suffix=${plan_class:+__$plan_class}
    case "$platform" in
    windows_x86_64 | windows_intelx86)
        format=$port_format
        objdump=$port_name-objdump
        grep -q "file format $format" <<<"$header" || fail "$worker is not a $format executable"
        command -v "$objdump" >/dev/null || fail "$objdump is missing"
        # Only DLLs that every Windows has; a DLL of the GCC runtime would have to
        # travel with the executable.
        dlls=$("$objdump" -p "$worker" | sed -n 's/^\s*DLL Name: //p')
        for dll in $dlls; do
            case "${dll,,}" in
            advapi32.dll | kernel32.dll | msvcrt.dll | shell32.dll | user32.dll | psapi.dll | ws2_32.dll | ole32.dll | winmm.dll) ;;
            opencl.dll) [ -n "$plan_class" ] || fail "$worker imports $dll: a GPU worker, to be packed with a plan class" ;;
            *) fail "$worker imports $dll, which a Windows host may not have" ;;
            esac
        done
        echo "imports:" $dlls
        executable=${app}_${version}_${platform}$class_suffix.exe
        ;;
    x86_64-pc-linux-gnu)
        grep -q "file format $port_format" <<<"$header" || fail "$worker is not an x86-64 ELF executable"
        # (outputs taken whole: grep -q leaving a pipe early would fail it under pipefail)
        if grep -q '(NEEDED)' <<<"$(readelf -d "$worker")"; then
            fail "$worker needs shared libraries (readelf -d); pack it with deploy/make-app-version.sh"
        fi
        if grep -q 'INTERP' <<<"$(readelf -l "$worker")"; then
            fail "$worker asks for a dynamic loader; not a static build"
        fi
        echo "static executable, no shared library"
        executable=${app}_${version}_${platform}$class_suffix
        ;;
    *) fail "unknown platform $platform" ;;
    esac

    api_version=$(grep -ao 'API_VERSION_[0-9.]*' "$worker" | head -n 1 | sed 's/^API_VERSION_//')
    [ -n "$api_version" ] || fail "$worker carries no API_VERSION marker: not linked with a static libboinc_api?"

    server=$out/apps/$app/$version/$platform$class_suffix
    mkdir -p "$server"
    install -m 755 "$worker" "$server/$executable"
    write_version_xml "$server" "$executable" "$api_version"
    if [ -n "$plan_class" ]; then
        echo "app version $app $version for $platform ($plan_class): $server"
        exit 0
    fi

    anonymous=$out/anonymous/$platform
    mkdir -p "$anonymous"
    install -m 755 "$worker" "$anonymous/$executable"
    cat >"$anonymous/app_info.xml" <<EOF
<app_info>
    <app>
        <name>$app</name>
        <user_friendly_name>$friendly</user_friendly_name>
    </app>
    <file_info>
        <name>$executable</name>
        <executable/>
    </file_info>
    <app_version>
        <app_name>$app</app_name>
        <version_num>$version_num</version_num>
        <platform>$platform</platform>
        <api_version>$api_version</api_version>
        <avg_ncpus>1</avg_ncpus>
        <file_ref>
            <file_name>$executable</file_name>
            <main_program/>
        </file_ref>
    </app_version>
</app_info>
EOF
else
    platform=$(element platform)
    api_version=$(element api_version)
    executable=${app}_${version}_${platform}
    grep -q "<name>$executable</name>" "$app_info" || fail "app_info.xml does not name the executable $executable"
    if [ -n "$plan_class" ]; then
        check_plan_class
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
    # The API version marker lives in libboinc_api, not in the executable.
    # shellcheck disable=SC2086 # one library name a word
    write_version_xml "$server" "$executable" "$api_version" $libraries

    if [ -n "$plan_class" ]; then
        echo "app version $app $version for $platform ($plan_class): $server"
        exit 0
    fi
    anonymous=$out/anonymous
    stage "$anonymous"
    install -m 644 "$app_info" "$anonymous/app_info.xml"
fi

echo "app version $app $version for $platform: $server"
echo "anonymous platform files: $anonymous"
