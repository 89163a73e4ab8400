#!/usr/bin/env bash
# Packs a self-contained build of the worker (`make ports`) as a BOINC app version
# for one platform (deploy/make-app-version.sh --port does the work):
#
#   deploy/make-port-version.sh <platform> <worker> <output folder> [<plan class> [<plan class file>]]
#
# <platform> is windows_x86_64, windows_intelx86 or x86_64-pc-linux-gnu, for
# build-ports/x86_64-w64-mingw32/dlsmate.exe, build-ports/i686-w64-mingw32/dlsmate.exe
# and build-ports/x86_64-linux-static/dlsmate; with a plan class of
# deploy/gpu_plan_classes.xml (or of the plan class file after it), the GPU
# worker build-ports/x86_64-w64-mingw32/opencl/dlsmate-opencl.exe for windows_x86_64.
set -euo pipefail

if [ $# -lt 3 ] || [ $# -gt 5 ]; then
    echo "usage: $0 <windows_x86_64|windows_intelx86|x86_64-pc-linux-gnu> <worker> <output folder> [<plan class> [<plan class file>]]" >&2
    exit 2
fi
exec "$(dirname "$0")/make-app-version.sh" --port "$@"
