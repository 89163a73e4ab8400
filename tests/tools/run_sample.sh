#!/usr/bin/env bash
# tools/run-sample.sh, which `make run` runs, on the sample work unit and on one
# the worker refuses: its exit status is the worker's, the square it shows is
# the sample's find beside an orthogonal diagonal mate (checked here cell by
# cell), the closing block is told in words, and no folder is left behind.
#   run_sample.sh WORKER TOOLS_DIR SOURCE_DIR
set -euo pipefail
worker=$(realpath "$1")
tools=$(realpath "$2")
source=$(realpath "$3")
work=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-run-sample-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
mkdir "$work/tmp"

status=0
TMPDIR=$work/tmp "$source/tools/run-sample.sh" "$worker" "$tools" "$source/samples/sample.wu" >"$work/out" 2>&1 || status=$?
cat "$work/out"
[ "$status" -eq 0 ] || fail "exit status $status for the sample"
[ -z "$(ls -A "$work/tmp")" ] || fail "left behind: $(ls -A "$work/tmp")"
grep -qx 'Exit status 0 (the run completed) after [0-9]*\.[0-9]* s; that includes the BOINC library.s 2 s pause at finish.' "$work/out" ||
    fail "no exit status line"
grep -qx '    [0-9:]* ([0-9]*): called boinc_finish(0)' "$work/out" || fail "the library's message is not shown"
grep -qx 'Result file: 646 bytes.' "$work/out" || fail "result size"
grep -qx '    square 1              mate 1' "$work/out" || fail "no square beside its mate"
grep -qx 'Closing block: the line X, then "65 20": diagonal index 65, and' "$work/out" || fail "status line"
grep -qx '20 squares passed the symmetry filter (each the smallest of its symmetry class).' "$work/out" ||
    fail "count not explained"
grep -qx "The run stopped at its square limit (20); the square at which it stopped, the 20th that passed:" "$work/out" ||
    fail "stop not explained"
grep -qx "Then the work unit's end square: all nines, above every square, so this run could stop only at its" "$work/out" ||
    fail "end square not explained"
grep -qx 'dlsmate-check on the result: valid records=1 passing=20 stop=limit own_records=1 own_passing=20' "$work/out" ||
    fail "no check"

# The ten lines under the heading: the sample's square on the left, on the right
# a diagonal Latin square that is orthogonal to it.
sed -n '/^    square 1  /{n;p;n;p;n;p;n;p;n;p;n;p;n;p;n;p;n;p;n;p}' "$work/out" >"$work/pair"
[ "$(wc -l <"$work/pair")" -eq 10 ] || fail "not ten rows beside each other"
cut -c5-23 "$work/pair" >"$work/left"
grep -v '^#' "$source/tests/data/sample-square.txt" | cmp -s - "$work/left" || fail "the left square is not the sample's find"
cut -c27- "$work/pair" | tr -d ' ' | tr -d '\n' >"$work/right"
paste -d ' ' <(grep -v '^#' "$source/tests/data/sample-square.txt" | tr -d ' ' | tr -d '\n' | fold -w1) \
    <(fold -w1 "$work/right") | awk '
    NF != 2 || $2 !~ /^[0-9]$/ { bad = "cell " NR " is not a value" }
    { n = NR - 1; r = int(n / 10); c = n % 10
      if (pair[$1 $2]++) bad = "the pair " $1 $2 " occurs twice"
      if (row[r, $2]++) bad = "row " r " repeats " $2
      if (col[c, $2]++) bad = "column " c " repeats " $2
      if (r == c && main[$2]++) bad = "the main diagonal repeats " $2
      if (r + c == 9 && anti[$2]++) bad = "the anti-diagonal repeats " $2 }
    END { if (NR != 100) bad = NR " cells"; if (bad != "") { print bad; exit 1 } }' ||
    fail "the right square is not an orthogonal diagonal mate"

# A work unit the worker refuses: its status and message, no result, no success.
printf '0 20\n' >"$work/bad.wu"
status=0
TMPDIR=$work/tmp "$source/tools/run-sample.sh" "$worker" "$tools" "$work/bad.wu" >"$work/bad" 2>&1 || status=$?
cat "$work/bad"
[ "$status" -eq 1 ] || fail "exit status $status for a refused work unit"
[ -z "$(ls -A "$work/tmp")" ] || fail "left behind: $(ls -A "$work/tmp")"
grep -qx '    Invalid input format' "$work/bad" || fail "the worker's message is not shown"
grep -qx 'Result file: none (a run that does not complete writes none).' "$work/bad" || fail "no result expected"
! grep -Eq ': valid |the run completed' "$work/bad" || fail "success shown after a failure"
echo "run-sample: passed"
