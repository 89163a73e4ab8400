#!/usr/bin/env bash
# Packs a self-contained build of the worker (`make ports`) as a BOINC app version
# for one platform: the executable alone, with the BOINC libraries linked in.
#
#   deploy/make-port-version.sh <platform> <worker> <output folder>
#
# <platform> is windows_x86_64, windows_intelx86 or x86_64-pc-linux-gnu, for
# build-ports/x86_64-w64-mingw32/dlsmate.exe, build-ports/i686-w64-mingw32/dlsmate.exe
# and build-ports/x86_64-linux-static/dlsmate.  Writes
#   <output folder>/apps/<app>/<version>/<platform>/   the executable and version.xml:
#                                                      copy into a project's apps/ and
#                                                      run bin/update_versions
#   <output folder>/anonymous/<platform>/              the executable and app_info.xml:
#                                                      for volunteers on the anonymous
#                                                      platform, into projects/<url>/
#
# Name and version come from deploy/app_info.xml (as for the shared-library build,
# deploy/make-app-version.sh); <api_version> is the API version marker that the
# static libboinc_api put into the executable.  The script refuses a Linux worker
# that needs any shared library and a Windows one that needs a DLL of the GCC
# runtime, and checks that the executable is built for the platform.
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 <windows_x86_64|windows_intelx86|x86_64-pc-linux-gnu> <worker> <output folder>" >&2
    exit 2
fi
platform=$1
worker=$2
out=$3
here=$(cd "$(dirname "$0")" && pwd)
app_info=$here/app_info.xml
# shellcheck source=../cmake/ports.sh
. "$here/../cmake/ports.sh"

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
friendly=$(element user_friendly_name)
version_num=$(element version_num)
[[ "$version_num" =~ ^[0-9]+$ ]] || fail "app_info.xml has no numeric version_num"
# BOINC shows version_num 100 as 1.00; update_versions reads it from the folder name.
version=$(printf '%d.%02d' $((version_num / 100)) $((version_num % 100)))

header=$(objdump -f "$worker" 2>/dev/null) || fail "$worker is not an executable objdump knows"
platform_port "$platform" || fail "unknown platform $platform"
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
        *) fail "$worker imports $dll, which a Windows host may not have" ;;
        esac
    done
    echo "imports:" $dlls
    executable=${app}_${version}_${platform}.exe
    ;;
x86_64-pc-linux-gnu)
    grep -q "file format $port_format" <<<"$header" || fail "$worker is not an x86-64 ELF executable"
    if readelf -d "$worker" | grep -q '(NEEDED)'; then
        fail "$worker needs shared libraries (readelf -d); pack it with deploy/make-app-version.sh"
    fi
    if readelf -l "$worker" | grep -q 'INTERP'; then
        fail "$worker asks for a dynamic loader; not a static build"
    fi
    echo "static executable, no shared library"
    executable=${app}_${version}_${platform}
    ;;
*) fail "unknown platform $platform" ;;
esac

api_version=$(grep -ao 'API_VERSION_[0-9.]*' "$worker" | head -n 1 | sed 's/^API_VERSION_//')
[ -n "$api_version" ] || fail "$worker carries no API_VERSION marker: not linked with a static libboinc_api?"

server=$out/apps/$app/$version/$platform
mkdir -p "$server"
install -m 755 "$worker" "$server/$executable"
cat >"$server/version.xml" <<EOF
<version>
    <file>
        <physical_name>$executable</physical_name>
        <main_program/>
    </file>
    <api_version>$api_version</api_version>
</version>
EOF

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

echo "app version $app $version for $platform: $server"
echo "anonymous platform files: $anonymous"
