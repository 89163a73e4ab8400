#!/usr/bin/env bash
# The .deb that `make package` builds, without installing it on this machine:
# exactly the installed files under /usr, the BOINC runtime libraries among its
# dependencies, and, unpacked into a fresh folder, a worker and tools that run.
#   package_contents.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
# shellcheck source=../../tools/standalone-run.sh
. "$source/tools/standalone-run.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-package-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
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
echo "package: passed"
