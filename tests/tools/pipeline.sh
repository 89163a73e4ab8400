#!/usr/bin/env bash
# The operator tools with the real worker, as the README's walk-through runs
# them.  Usage: pipeline.sh SCENARIO WORKER TOOLS_DIR SOURCE_DIR
#   sample  the sample work unit: check, a replica compared, mates, next
#   split   a range split into units; every unit run and checked; their
#           own_passing and own_records add up to those of one unit over the range
#   chain   a unit with a small limit continued with dlsmate-next until done;
#           the links add up to one run with a large limit
set -euo pipefail
scenario=$1
worker=$(realpath "$2")
tools=$(realpath "$3")
source=$(realpath "$4")
# shellcheck source=../../tools/standalone-run.sh
. "$source/tools/standalone-run.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/dlsmate-pipeline-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "FAILED: $*" >&2; exit 1; }

# Runs the worker on a work unit in a directory of its own, as a client would:
# run_unit UNIT RESULT
run_unit() {
    local dir
    dir=$(mktemp -d "$work/run-XXXXXX")
    run_standalone "$dir" "$1" "$worker" || fail "worker on $1: exit status $?"
    cp "$dir/out" "$2"
}

# Waits for every worker run started in the background; `wait` alone would
# report success whatever they returned.
wait_all() {
    local pid
    for pid in $(jobs -p); do
        wait "$pid" || fail "a worker run failed"
    done
}

# A field of dlsmate-check's summary line: field LINE NAME
field() { sed -n "s/.* $2=\([^ ]*\).*/\1/p" <<<"$1"; }

# The first 40 free cells of the square the sample work unit finds.
prefix=$(grep -v '^#' "$source/tests/data/sample-square.txt" | tr -s ' \n' '  ' | awk '{
    n = 0; s = "";
    for (i = 1; i <= 100; i++) { r = int((i - 1) / 10); c = (i - 1) % 10;
        if (c != r && c != 9 - r && n < 40) { s = s (n ? "," : "") $i; n++ } }
    print s }')

case $scenario in
sample)
    cp "$source/samples/sample.wu" sample.wu
    run_unit sample.wu a.out & run_unit sample.wu b.out & wait_all
    summary=$("$tools/dlsmate-check" sample.wu a.out) || fail "check: $summary"
    [[ $summary == "a.out: valid records=1 passing=20 stop=limit own_records=1 own_passing=20" ]] || fail "$summary"
    "$tools/dlsmate-check" --compare a.out b.out >/dev/null || fail "replicas differ"
    [[ $("$tools/dlsmate-mates" --count a.out) == 1 ]] || fail "mates of the sample's find"
    [[ $("$tools/dlsmate-next" sample.wu a.out next.wu 2>/dev/null) == "continue next.wu" ]] || fail "next"
    ;;
split)
    "$tools/dlsmate-split" --quiet --prefix "$prefix" 65 41 1000 units >units.txt
    "$tools/dlsmate-split" --quiet --prefix "$prefix" 65 40 1000 whole >whole.txt
    [[ $(wc -l <units.txt) -gt 1 ]] || fail "one unit only"
    while read -r unit; do run_unit "$unit" "${unit%.wu}.out" & done <units.txt
    run_unit "$(cat whole.txt)" whole.out & wait_all
    passing=0 records=0
    while read -r unit; do
        summary=$("$tools/dlsmate-check" "$unit" "${unit%.wu}.out") || fail "check: $summary"
        passing=$((passing + $(field "$summary" own_passing)))
        records=$((records + $(field "$summary" own_records)))
    done <units.txt
    summary=$("$tools/dlsmate-check" "$(cat whole.txt)" whole.out) || fail "check: $summary"
    [[ $passing == $(field "$summary" own_passing) ]] || fail "units pass $passing squares, one run $summary"
    [[ $records == $(field "$summary" own_records) && $records == 1 ]] || fail "units find $records, one run $summary"
    ;;
chain)
    "$tools/dlsmate-split" --quiet --prefix "$prefix" 65 40 100 chain >/dev/null
    "$tools/dlsmate-split" --quiet --prefix "$prefix" 65 40 1000 long >/dev/null
    unit=chain/d65-k40-000001.wu
    run_unit long/d65-k40-000001.wu long.out &
    passing=0 records=0 links=0
    while :; do
        links=$((links + 1))
        run_unit "$unit" link.out
        summary=$("$tools/dlsmate-check" "$unit" link.out) || fail "check link $links: $summary"
        passing=$((passing + $(field "$summary" passing)))
        records=$((records + $(field "$summary" records)))
        answer=$("$tools/dlsmate-next" "$unit" link.out "$unit" 2>/dev/null)
        [[ $answer == done ]] && break
        [[ $answer == "continue $unit" ]] || fail "next: $answer"
    done
    wait_all
    summary=$("$tools/dlsmate-check" long/d65-k40-000001.wu long.out) || fail "check: $summary"
    [[ $links -gt 1 ]] || fail "one link only"
    [[ $passing == $(field "$summary" passing) ]] || fail "links pass $passing squares, one run $summary"
    [[ $records == $(field "$summary" records) ]] || fail "links find $records, one run $summary"
    ;;
*)
    fail "unknown scenario $scenario"
    ;;
esac
echo "$scenario: passed"
