#!/usr/bin/env bash
# The README's walkthrough, taken from README.md as it stands, run after an
# installation into a fresh prefix with only that prefix's programs on PATH:
# twice (side by side, each in the fresh folder it makes), where it must check
# every result and print the README's totals, and once with a worker that fails,
# where it must stop with the failure and print no success.
#   readme_walkthrough.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
work=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-walkthrough-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" || { cat "$work/install.log"; fail "install"; }
for program in dlsmate dlsmate-split dlsmate-next dlsmate-check dlsmate-mates; do
    [ -x "$work/prefix/bin/$program" ] || fail "$program is not installed in bin/"
done
awk '/^### From diagonal index 5 to checked results/ { found = 1 }
     found && /^```sh$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside' "$source/README.md" >"$work/walkthrough.sh"
[ -s "$work/walkthrough.sh" ] || fail "no walkthrough block in README.md"
mkdir "$work/tmp" "$work/here"
path=$work/prefix/bin:/usr/bin:/bin

# Runs the walkthrough from a folder of its own: walk NAME [PATH]
walk() {
    local status=0
    (cd "$work/here" && TMPDIR=$work/tmp PATH=${2:-$path} bash "$work/walkthrough.sh") >"$work/$1.out" 2>&1 || status=$?
    echo "$status" >"$work/$1.status"
}
walk first & walk second & wait
for run in first second; do
    cat "$work/$run.out"
    [ "$(cat "$work/$run.status")" -eq 0 ] || fail "$run run: exit status $(cat "$work/$run.status")"
    grep -Eqx 'all [0-9]+ results valid' "$work/$run.out" || fail "$run run: results not all checked"
    grep -qx '38978 squares passed the filter, 0 of them have a mate' "$work/$run.out" || fail "$run run: totals"
done
[ "$(head -n 1 "$work/first.out")" != "$(head -n 1 "$work/second.out")" ] || fail "both runs used one folder"
[ -z "$(ls -A "$work/here")" ] || fail "the walkthrough wrote into the folder it was started from"

# A worker that fails: the walkthrough stops there and claims nothing.
mkdir "$work/broken"
printf '#!/bin/sh\necho "worker failed" >&2\nexit 1\n' >"$work/broken/dlsmate"
chmod +x "$work/broken/dlsmate"
walk broken "$work/broken:$path"
cat "$work/broken.out"
[ "$(cat "$work/broken.status")" -ne 0 ] || fail "exit status 0 after the worker failed"
grep -q '^run failed: d05-k34-000001.0 ' "$work/broken.out" || fail "the failing step is not named"
! grep -Eq 'valid|passed the filter' "$work/broken.out" || fail "success printed after a failure"
echo "walkthrough: passed"
