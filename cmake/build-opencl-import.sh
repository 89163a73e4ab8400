#!/usr/bin/env bash
# What a MinGW-w64 build needs to link a program with OpenCL.dll, the OpenCL ICD
# loader that a Windows GPU driver installs: the Khronos headers and an import
# library, without any vendor's SDK.
#
#   cmake/build-opencl-import.sh <target> <folder>
#
# <target> is a MinGW-w64 triple (x86_64-w64-mingw32).  Copies the Khronos C
# headers of this machine (Debian's opencl-c-headers, $OPENCL_HEADERS/CL, by
# default /usr/include/CL) into <folder>/include/CL, so that the cross compiler
# sees them and nothing else of the host's include folder, and makes
# <folder>/lib/libOpenCL.a with <target>-dlltool from <folder>/OpenCL.def: every
# function that CL/cl.h declares, imported from OpenCL.dll.  Which of them a
# program imports is what it calls.
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 <MinGW-w64 target> <folder>" >&2
    exit 2
fi
target=$1
folder=$2
headers=${OPENCL_HEADERS:-/usr/include}

fail() {
    echo "$0: $*" >&2
    exit 1
}

[ -f "$headers/CL/cl.h" ] || fail "no Khronos OpenCL headers at $headers/CL (Debian: opencl-c-headers)"
command -v "$target-dlltool" >/dev/null || fail "$target-dlltool is missing (MinGW-w64's binutils)"

rm -rf "${folder:?}/include" "${folder:?}/lib"
mkdir -p "$folder/include/CL" "$folder/lib"
cp "$headers"/CL/*.h "$folder/include/CL/"

# cl.h declares each function as "extern CL_API_ENTRY <type> CL_API_CALL" and
# its name with "(" on the next line.
mapfile -t functions < <(awk '/CL_API_CALL$/ { getline; if (match($0, /^cl[A-Za-z0-9_]*\(/)) print substr($0, 1, RLENGTH - 1) }' \
    "$headers/CL/cl.h" | sort -u)
for needed in clGetPlatformIDs clGetDeviceIDs clBuildProgram clEnqueueNDRangeKernel; do
    grep -qx "$needed" <<<"$(printf '%s\n' "${functions[@]}")" || fail "found no declaration of $needed in $headers/CL/cl.h"
done
{
    echo "LIBRARY OpenCL.dll"
    echo "EXPORTS"
    printf '    %s\n' "${functions[@]}"
} >"$folder/OpenCL.def"
"$target-dlltool" -d "$folder/OpenCL.def" -l "$folder/lib/libOpenCL.a"
echo "OpenCL import library for $target (${#functions[@]} functions of OpenCL.dll): $folder"
