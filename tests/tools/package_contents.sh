#!/usr/bin/env bash
# The .debs that `make package` builds, without installing them on this machine:
# dlsmate and, where OpenCL was built, dlsmate-opencl; exactly the installed files
# under /usr in each, the BOINC runtime libraries among their dependencies and the
# OpenCL loader only among the OpenCL worker's, and, unpacked into a fresh folder,
# workers and tools that run.
#   package_contents.sh BUILD_DIR SOURCE_DIR OPENCL_BUILT (ON or OFF)
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
opencl=$3
# shellcheck source=../../tools/standalone-run.sh
. "$source/tools/standalone-run.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-package-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
debs=$(cd "$work/out" && ls ./*.deb | sed 's:^\./::; s/_.*//' | tr '\n' ' ')
if [ "$opencl" = ON ]; then
    [ "$debs" = "dlsmate-opencl dlsmate " ] || fail "packages made: $debs"
else
    [ "$debs" = "dlsmate " ] || fail "packages made: $debs"
fi
deb=$(ls "$work"/out/dlsmate_*_amd64.deb)
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$work/files"
cat >"$work/expected" <<'LIST'
./usr/bin/dlsmate
./usr/bin/dlsmate-catalogue
./usr/bin/dlsmate-cf
./usr/bin/dlsmate-check
./usr/bin/dlsmate-mates
./usr/bin/dlsmate-next
./usr/bin/dlsmate-split
./usr/share/dlsmate/deploy/app_info.xml
./usr/share/dlsmate/deploy/gpu_plan_classes.xml
./usr/share/dlsmate/deploy/make-app-version.sh
./usr/share/dlsmate/deploy/templates/dlsmate_in
./usr/share/dlsmate/deploy/templates/dlsmate_out
./usr/share/dlsmate/samples/sample.wu
./usr/share/doc/dlsmate/README.md
LIST
diff "$work/expected" "$work/files" || fail "the package's files differ from the list above"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libboinc7 libboinc-app7 libsqlite3-0; do
    grep -q "$library" <<<"$depends" || fail "no dependency on $library: $depends"
done
# A host without OpenCL installs the CPU worker without an OpenCL loader.
! grep -qi opencl <<<"$depends" || fail "dlsmate depends on OpenCL: $depends"

dpkg-deb -x "$deb" "$work/root"
bin=$work/root/usr/bin
for tool in dlsmate-split dlsmate-next dlsmate-check dlsmate-mates dlsmate-cf dlsmate-catalogue; do
    "$bin/$tool" --help >/dev/null || fail "$tool --help"
done
run_standalone "$work/run" "$work/root/usr/share/dlsmate/samples/sample.wu" "$bin/dlsmate" ||
    fail "the packed worker on the sample"
"$bin/dlsmate-check" --strict "$work/run/in" "$work/run/out" >/dev/null || fail "the packed worker's result"
cmp -s "$work/root/usr/share/dlsmate/samples/sample.wu" "$source/samples/sample.wu" || fail "the sample differs"
"$work/root/usr/share/dlsmate/deploy/make-app-version.sh" "$bin/dlsmate" "$work/pack" >/dev/null ||
    fail "the packed deploy kit cannot pack the packed worker"
cmp -s "$work/root/usr/share/dlsmate/deploy/gpu_plan_classes.xml" "$source/deploy/gpu_plan_classes.xml" ||
    fail "the plan classes differ"
if [ "$opencl" != ON ]; then
    echo "package: passed (no OpenCL worker built)"
    exit 0
fi

# The OpenCL worker's package: the worker alone; the loader and BOINC's OpenCL
# library (libboinc-app7) among its dependencies, a driver recommended.
deb=$(ls "$work"/out/dlsmate-opencl_*_amd64.deb)
[ "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }')" = ./usr/bin/dlsmate-opencl ] ||
    fail "dlsmate-opencl's files: $(dpkg-deb -c "$deb")"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libboinc7 libboinc-app7 ocl-icd-libopencl1; do
    grep -q "$library" <<<"$depends" || fail "dlsmate-opencl: no dependency on $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = opencl-icd ] || fail "dlsmate-opencl recommends: $(dpkg-deb -f "$deb" Recommends)"
# Unpacked beside dlsmate: the sample's result is dlsmate's, and the deploy kit packs it.
dpkg-deb -x "$deb" "$work/root"
run_standalone "$work/run-opencl" "$work/root/usr/share/dlsmate/samples/sample.wu" "$bin/dlsmate-opencl" ||
    fail "the packed OpenCL worker on the sample"
cmp "$work/run/out" "$work/run-opencl/out" || fail "the packed OpenCL worker's result differs from dlsmate's"
"$work/root/usr/share/dlsmate/deploy/make-app-version.sh" "$bin/dlsmate-opencl" "$work/pack" opencl_nvidia >/dev/null ||
    fail "the packed deploy kit cannot pack the packed OpenCL worker"
echo "package: passed"
